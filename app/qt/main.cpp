// Quorvel: talks to a smart card through a plain serial-port reader.
#include <QApplication>
#include <QIcon>

#include "app/profile.h"
#include "app/qt/quorvel_dlg.h"
#include "port/clock.h"
#include "port/system_device_factory.h"
#include "res/publisher.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  QGuiApplication::setDesktopFileName(QString::fromUtf8(quorvel::res::kApplicationId));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvel/icon.png")));

  quorvel::Profile profile = quorvel::Profile::Load(quorvel::Profile::DefaultPath());
  quorvel::SystemClock clock;
  quorvel::SystemDeviceFactory devices(profile.Section("ports"), clock);

  quorvel::gui::CQuorvelDlg dialog({devices, clock, profile});
  dialog.exec();
  // However the window was closed, the program ends here.
  return 0;
}
