// quelmar: the converter window. `quelmar [FILE]` opens FILE as if it were dropped.
#include <QApplication>
#include <QFileInfo>

#include "app/qt/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quelmar"));
  TForm1 form;
  form.show();
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) form.OpenFromCommandLine(QFileInfo(args[1]).absoluteFilePath());
  return app.exec();
}
