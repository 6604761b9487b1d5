// The About box: the product's name and year over an OK button, from the
// template IDD_ABOUTBOX. It has nothing of its own; the layer's dialog does
// all of it, and its modal run leaves the owner's timer and a running scan
// going.
#pragma once

#include "resource.h"
#include "ui/dialog.h"

namespace quarn::ui {

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

}  // namespace quarn::ui
