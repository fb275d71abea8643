#include "window/view.h"

#include <cstdio>

namespace sc {

namespace {
template <typename Map, typename Value>
Value Find(const Map& map, int id, Value fallback) {
  auto it = map.find(id);
  return it == map.end() ? fallback : it->second;
}
}  // namespace

std::string MemoryView::GetText(int id) const {
  return Find(texts_, id, std::string());
}
int MemoryView::GetInt(int id) const {
  return Find(ints_, id, 0);
}
double MemoryView::GetFloat(int id) const {
  return Find(floats_, id, 0.0);
}
int MemoryView::GetRadio(int firstId) const {
  return Find(radios_, firstId, -1);
}
int MemoryView::GetSelection(int id) const {
  return Find(selections_, id, -1);
}
bool MemoryView::Dimmed(int id) const {
  return Find(dimmed_, id, false);
}
bool MemoryView::Visible(int id) const {
  return Find(visible_, id, true);
}
bool MemoryView::Enabled(int id) const {
  return Find(enabled_, id, true);
}
int MemoryView::Icon(int id) const {
  return Find(icons_, id, 0);
}

int MemoryView::Repaints(int id) const {
  return Find(repaints_, id, 0);
}

void MemoryView::SetItems(int id, const std::vector<std::string>& items) {
  items_[id] = items;
  tips_.erase(id);
}

void MemoryView::SetItem(int id, int index, const std::string& text) {
  auto& items = items_[id];
  if (index < 0) return;
  if (static_cast<size_t>(index) >= items.size()) items.resize(index + 1);
  items[index] = text;
}

void MemoryView::SetItemTip(int id, int index, const std::string& tip) {
  tips_[id][index] = tip;
}

const std::vector<std::string>& MemoryView::Items(int id) const {
  static const std::vector<std::string> kNone;
  auto it = items_.find(id);
  return it == items_.end() ? kNone : it->second;
}

std::string MemoryView::ItemTip(int id, int index) const {
  auto it = tips_.find(id);
  if (it == tips_.end()) return {};
  return Find(it->second, index, std::string());
}

void MemoryView::ReplayInto(View& view) const {
  // Lists first: a selection or an item's tip needs its items.
  for (const auto& [id, items] : items_)
    view.SetItems(id, items);
  for (const auto& [id, tips] : tips_)
    for (const auto& [index, tip] : tips)
      view.SetItemTip(id, index, tip);
  for (const auto& [id, index] : selections_)
    view.SetSelection(id, index);
  for (const auto& [id, text] : texts_)
    view.SetText(id, text);
  for (const auto& [id, value] : ints_)
    view.SetInt(id, value);
  for (const auto& [id, value] : floats_)
    view.SetFloat(id, value);
  for (const auto& [id, index] : radios_)
    view.SetRadio(id, index);
  for (const auto& [id, visible] : visible_)
    view.SetVisible(id, visible);
  for (const auto& [id, enabled] : enabled_)
    view.SetEnabled(id, enabled);
  for (const auto& [id, icon] : icons_)
    view.SetIcon(id, icon);
  for (const auto& [id, dimmed] : dimmed_)
    view.SetDimmed(id, dimmed);
  for (const auto& [id, count] : repaints_)
    if (count > 0) view.Repaint(id);
}

void ControlExchange::Text(int id, std::string& member) {
  if (pulling())
    member = view_.GetText(id);
  else
    view_.SetText(id, member);
}

void ControlExchange::Int(int id, int& member) {
  if (pulling())
    member = view_.GetInt(id);
  else
    view_.SetInt(id, member);
}

void ControlExchange::Float(int id, double& member) {
  if (pulling())
    member = view_.GetFloat(id);
  else
    view_.SetFloat(id, member);
}

void ControlExchange::Radio(int firstId, int& index) {
  if (pulling())
    index = view_.GetRadio(firstId);
  else
    view_.SetRadio(firstId, index);
}

void CoreWindow::Push() {
  ControlExchange exchange(*view_, ControlExchange::Direction::Push);
  Exchange(exchange);
}

void CoreWindow::Pull() {
  ControlExchange exchange(*view_, ControlExchange::Direction::Pull);
  Exchange(exchange);
}

std::string FormatFloat(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace sc
