#pragma once

#include <QObject>
#include <optional>
#include <vector>

#include "port/serial_device.h"

class QCompleter;
class QLineEdit;
class QStandardItemModel;

namespace quorvel::gui {

// Offers port names while the user types the port name of a settings edit: a popup of the
// names that fit, each with what it opens; choosing one puts it in place of what was
// typed and keeps the rest of the string. The names are read when first needed, and
// anew for each round of editing, never at start-up.
class PortNameCompleter final : public QObject {
  Q_OBJECT

 public:
  PortNameCompleter(QLineEdit* edit, DeviceFactory& devices);

 private:
  void Offer();

  QLineEdit* edit_;
  DeviceFactory& devices_;
  std::optional<std::vector<PortChoice>> choices_;
  QStandardItemModel* completions_;
  QCompleter* completer_;
};

}  // namespace quorvel::gui
