#pragma once
// The format table: one row (io/format.h) per format, in registry order. The
// controller's dispatch, detection and load and save rules, the registry (and
// through it the open dialog's filter), quelmar-cli's list of writable extensions and the fuzz
// target's format list all come from here.
//
// Adding a format: define its row beside its codec, then declare the row's
// function and add it to the list in io/formattable.cpp (one line each).
#include <cstdint>
#include <string>
#include <vector>

#include "io/format.h"

// Every row, in registry order (rows without a registry entry last).
const std::vector<TIOFormat>& IOFormatRows();
// The row of a code; nullptr for ioUnknown and for codes without a row.
const TIOFormat* IOFormatRow(int32_t fileType);
// The row whose Extensions dispatch an extension (any case, with or without its
// dot) for the route; nullptr when none does.
const TIOFormat* IOFormatRowForExtension(const std::string& extension, TIORoute route);
// The import row whose NamePrefix begins the name (any case); nullptr when none.
const TIOFormat* IOFormatRowForName(const std::string& fileName);

// Extensions (lower case, without dots) of the rows that have a writer and are
// saved by extension, in table order: what quelmar-cli can write.
std::vector<std::string> IOWritableExtensions();
// Codes of the rows that have a reader and load from streams, in table order:
// what the fuzz target feeds.
std::vector<int32_t> IOReadableCodes();

// Test seam: replaces the row of row.FileType, or adds it (IOResetRegistry then
// rebuilds the registry's entries from the rows).
void IOSetFormatRow(const TIOFormat& row);
// Back to the built-in rows.
void IOResetFormatRows();
