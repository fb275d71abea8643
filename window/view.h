#pragma once
// Controls as the core windows see them: values exchanged by control id, plus the
// state of a control that is not a value (shown, enabled, icon, list items and
// selection). A core window lists its exchanged members once, in Exchange(); Push()
// writes them all to the view and Pull() reads them all back. The Qt views map ids to
// widgets; MemoryView keeps everything in maps, for tests and for windows without a
// view yet.

#include <map>
#include <string>
#include <vector>

namespace sc {

class View {
 public:
  virtual ~View() = default;

  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string GetText(int id) const = 0;
  virtual void SetInt(int id, int value) = 0;
  virtual int GetInt(int id) const = 0;
  virtual void SetFloat(int id, double value) = 0;
  virtual double GetFloat(int id) const = 0;
  // A radio group is named by its first button; index -1 means none checked.
  virtual void SetRadio(int firstId, int index) = 0;
  virtual int GetRadio(int firstId) const = 0;

  virtual void SetVisible(int id, bool visible) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual void SetIcon(int id, int iconId) = 0;
  // A control that draws a picture of the core's (the preview) draws it again now.
  virtual void Repaint(int id) { (void)id; }
  // A control or a group of them shows values that are not live: greyed, still readable,
  // selectable and copyable (unlike a disabled one).
  virtual void SetDimmed(int id, bool dimmed) {
    (void)id;
    (void)dimmed;
  }

  virtual void SetItems(int id, const std::vector<std::string>& items) = 0;
  virtual void SetItem(int id, int index, const std::string& text) = 0;
  virtual void SetItemTip(int id, int index, const std::string& tip) = 0;
  // -1: no item selected.
  virtual void SetSelection(int id, int index) = 0;
  virtual int GetSelection(int id) const = 0;
};

// Keeps every control's state in memory. Unknown ids read as empty, 0 or -1.
class MemoryView : public View {
 public:
  void SetText(int id, const std::string& text) override { texts_[id] = text; }
  std::string GetText(int id) const override;
  void SetInt(int id, int value) override { ints_[id] = value; }
  int GetInt(int id) const override;
  void SetFloat(int id, double value) override { floats_[id] = value; }
  double GetFloat(int id) const override;
  void SetRadio(int firstId, int index) override { radios_[firstId] = index; }
  int GetRadio(int firstId) const override;

  void SetVisible(int id, bool visible) override { visible_[id] = visible; }
  void SetEnabled(int id, bool enabled) override { enabled_[id] = enabled; }
  void SetIcon(int id, int iconId) override { icons_[id] = iconId; }
  void Repaint(int id) override { ++repaints_[id]; }
  void SetDimmed(int id, bool dimmed) override { dimmed_[id] = dimmed; }

  void SetItems(int id, const std::vector<std::string>& items) override;
  void SetItem(int id, int index, const std::string& text) override;
  void SetItemTip(int id, int index, const std::string& tip) override;
  void SetSelection(int id, int index) override { selections_[id] = index; }
  int GetSelection(int id) const override;

  // Writes everything this view holds into `view`: lists before their selections and
  // tips, then values, then shown, enabled, icon and dimmed states; a control drawn here
  // is drawn there once.
  void ReplayInto(View& view) const;

  // For tests: state that only the view knows.
  bool Visible(int id) const;  // true unless hidden
  bool Enabled(int id) const;  // true unless disabled
  int Icon(int id) const;      // 0 when never set
  int Repaints(int id) const;  // how often Repaint(id) was asked for
  bool Dimmed(int id) const;   // false unless dimmed
  const std::vector<std::string>& Items(int id) const;
  std::string ItemTip(int id, int index) const;
  bool HasText(int id) const { return texts_.count(id) != 0; }

 private:
  std::map<int, std::string> texts_;
  std::map<int, int> ints_;
  std::map<int, double> floats_;
  std::map<int, int> radios_;
  std::map<int, bool> visible_;
  std::map<int, bool> enabled_;
  std::map<int, int> icons_;
  std::map<int, int> repaints_;
  std::map<int, bool> dimmed_;
  std::map<int, std::vector<std::string>> items_;
  std::map<int, std::map<int, std::string>> tips_;
  std::map<int, int> selections_;
};

// One pass of a window's data exchange, in one direction.
class ControlExchange {
 public:
  enum class Direction { Push, Pull };
  ControlExchange(View& view, Direction direction) : view_(view), direction_(direction) {}

  bool pulling() const { return direction_ == Direction::Pull; }
  void Text(int id, std::string& member);
  void Int(int id, int& member);
  void Float(int id, double& member);
  void Radio(int firstId, int& index);

 private:
  View& view_;
  Direction direction_;
};

// Base of the core windows: a view (a MemoryView until a real one is attached) and the
// push/pull of the exchanged members.
class CoreWindow {
 public:
  virtual ~CoreWindow() = default;
  CoreWindow() = default;
  CoreWindow(const CoreWindow&) = delete;
  CoreWindow& operator=(const CoreWindow&) = delete;

  // The view must outlive the window or be detached with AttachView(nullptr).
  void AttachView(View* view) { view_ = view ? view : &memory_; }
  // Attaches a view made after the window has been written to (a page built when it is
  // first shown): it first takes everything the window's own memory holds, so it shows
  // what a view attached from the start would. Only while no other view is attached.
  void AttachViewWithState(View& view) {
    if (view_ == &memory_) memory_.ReplayInto(view);
    view_ = &view;
  }
  View& view() { return *view_; }
  const View& view() const { return *view_; }

  void Push();  // members to controls
  void Pull();  // controls to members

 protected:
  virtual void Exchange(ControlExchange& exchange) = 0;

 private:
  MemoryView memory_;
  View* view_ = &memory_;
};

// Floats shown in controls: general notation, six significant digits (148.5, 59.94, 60).
std::string FormatFloat(double value);

}  // namespace sc
