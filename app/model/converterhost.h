#pragma once
// What the converter needs from the windowing layer; tests supply a recording fake.
#include <string>

class TConverterHost {
public:
  virtual ~TConverterHost() = default;
  // An information message box with one OK button, title "Quelmar"; waits for the user.
  virtual void ShowMessage(const std::string& text) = 0;
  // Runs the open dialog modally; on confirmation stores the chosen file in fileName.
  virtual bool ExecuteOpenDialog(const std::string& initialDir, const std::string& filter,
                                 std::string& fileName) = 0;
  // Runs the folder browser starting at path; on confirmation stores the choice in path.
  virtual bool ExecuteBrowseForFolder(std::string& path) = 0;
  // Folder of the program's own executable, with a trailing "/".
  virtual std::string ProgramFolder() = 0;
  // The user's home folder, with a trailing "/".
  virtual std::string HomeFolder() = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool DirectoryWritable(const std::string& path) = 0;
};

// The host services that the platform answers the same way everywhere: program folder
// from /proc/self/exe, home from $HOME, directory tests from the file system.
class TPlatformConverterHost : public TConverterHost {
public:
  std::string ProgramFolder() override;
  std::string HomeFolder() override;
  bool DirectoryExists(const std::string& path) override;
  bool DirectoryWritable(const std::string& path) override;
};
