#pragma once
// Choosing the package of a firmware update: the path last used (Tovrin.ini
// ImagePath/imagePath) is offered in a three-button box, "Re-election",
// "Update", "Cancel"; without a usable last path, or on "Re-election", the
// file dialog opens, and a chosen file is asked about again.

#include <QString>

#include <functional>

class QWidget;

namespace tovrin::windows {

// The chosen package path; empty when the user cancelled.
QString choosePackage(QWidget* parent);

// Tests: a stand-in for the file dialog (empty: the real dialog again).
void setPackageFileDialog(std::function<QString(QWidget*)> dialog);

} // namespace tovrin::windows
