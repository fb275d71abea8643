#pragma once
// A drop-down list that opens as a scrolling list of at most maxVisibleItems() rows, also
// where the style would otherwise open it as a menu over the whole screen. With notes on,
// each item shows the end of its tooltip beside its text ("COM3    ttyUSB0") and items
// without a tooltip are dimmed; they can still be chosen.

#include <QComboBox>

namespace sc {

class DropDownList : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDownList(QWidget* parent = nullptr);

  void SetShowsNotes(bool shows);
  bool ShowsNotes() const { return showsNotes_; }

  // The note an item's tooltip gives: a device path without "/dev/", a by-id name alone.
  static QString NoteOf(const QString& tip);

  void showPopup() override;

 private:
  bool showsNotes_ = false;
};

}  // namespace sc
