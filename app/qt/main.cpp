// Quorvel: talks to a smart card through a plain serial-port reader.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <iostream>

#include "app/profile.h"
#include "app/qt/quorvel_dlg.h"
#include "cli/command_line.h"
#include "cli/command_line_main.h"
#include "iso7816/transmission_rate.h"
#include "port/clock.h"
#include "port/reader_clock.h"
#include "port/system_device_factory.h"
#include "res/publisher.h"

int main(int argc, char** argv) {
  // The command line is read before any Qt object exists: --run, --list, --help and
  // --version never load a platform plugin, so they work without a display.
  const quorvel::CommandLine line =
      quorvel::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (line.mode != quorvel::CommandLineMode::kWindow) {
    return quorvel::RunCommandLine(line, std::cout, std::cerr);
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  QGuiApplication::setDesktopFileName(QString::fromUtf8(quorvel::res::kApplicationId));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvel/icon.png")));

  quorvel::Profile profile = quorvel::Profile::Load(quorvel::Profile::DefaultPath());
  quorvel::SystemClock clock;
  quorvel::SystemDeviceFactory devices(profile.Section("ports"), clock);
  // The fast demo card runs at the reader's clock; a bad value is told by the window.
  devices.SetReaderClockHz(quorvel::ReaderClockOfSection(profile.Section("reader"))
                               .hz.value_or(quorvel::kDefaultReaderClockHz));

  quorvel::gui::MainWindowDeps deps{devices, clock, profile};
  deps.fileFollows = line.file.has_value();
  quorvel::gui::CQuorvelDlg dialog(deps);
  if (line.file) {
    // Once the window is up, so that a message about the file appears over it.
    QTimer::singleShot(0, &dialog, [&dialog, &line] { dialog.logic().OpenFile(*line.file); });
  }
  dialog.exec();
  // However the window was closed, the program ends here.
  return 0;
}
