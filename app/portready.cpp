#include "app/portready.h"

#include "panel/panellink.h"
#include "panel/portcontrol.h"
#include "ui/exceptionbox.h"
#include "ui/messagebox.h"

bool PortReadyOrSay(TPanelLink& link, QWidget* parent) {
  TPanelPort* port = link.Port();
  if (port == nullptr) return true;  // no port at all: the frames go nowhere, as when closed
  bool ready = false;
  bool raised = true;
  Guarded([&] {
    ready = port->Ready();
    raised = false;
  });
  if (ready || raised) return ready;
  if (const auto* control = dynamic_cast<const TPortControl*>(port))
    MessageBox(parent, CouldNotOpenMessage(*control), "COM Port Error");
  return false;
}
