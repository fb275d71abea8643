#include "sim/box_line.h"

namespace sc {

BoxLine::BoxLine(const std::vector<DeviceAddress>& addresses) {
  for (DeviceAddress a : addresses)
    Add(a);
}

SimulatedBox& BoxLine::Add(DeviceAddress address) {
  boxes_.push_back(std::make_unique<SimulatedBox>(address));
  return *boxes_.back();
}

bool BoxLine::Remove(DeviceAddress address) {
  for (auto it = boxes_.begin(); it != boxes_.end(); ++it) {
    if ((*it)->address() != address) continue;
    boxes_.erase(it);
    return true;
  }
  return false;
}

SimulatedBox* BoxLine::Find(DeviceAddress address) {
  for (auto& b : boxes_)
    if (b->address() == address) return b.get();
  return nullptr;
}

std::vector<LineOutput> BoxLine::Receive(const uint8_t* bytes, size_t count) {
  std::vector<LineOutput> out;
  for (size_t i = 0; i < count; ++i) {
    for (size_t k = 0; k < boxes_.size(); ++k) {
      std::vector<uint8_t> reply = boxes_[k]->Receive(bytes + i, 1);
      if (!reply.empty())
        out.push_back({k, std::move(reply), boxes_[k]->faults().replyDelay, boxes_[k]->lineRate()});
    }
  }
  return out;
}

std::vector<LineOutput> BoxLine::TakeUnsolicited() {
  std::vector<LineOutput> out;
  for (size_t k = 0; k < boxes_.size(); ++k) {
    std::vector<uint8_t> bytes = boxes_[k]->TakeUnsolicited();
    if (!bytes.empty())
      out.push_back({k, std::move(bytes), boxes_[k]->faults().replyDelay, boxes_[k]->lineRate()});
  }
  return out;
}

std::vector<LineOutput> BoxLine::TakeStreamed(size_t maxBytes) {
  std::vector<LineOutput> out;
  for (size_t k = 0; k < boxes_.size(); ++k) {
    if (!boxes_[k]->Streaming()) continue;
    // The chunks go at the rate of the transfer, even the last, after which the box
    // returns to its link rate.
    const int rate = boxes_[k]->lineRate();
    std::vector<uint8_t> bytes = boxes_[k]->TakeStreamed(maxBytes);
    if (!bytes.empty()) out.push_back({k, std::move(bytes), std::chrono::milliseconds(0), rate});
  }
  return out;
}

bool BoxLine::Streaming() const {
  for (const auto& b : boxes_)
    if (b->Streaming()) return true;
  return false;
}

int BoxLine::LineRate() const {
  for (const auto& b : boxes_)
    if (b->lineRate() != kBoxLinkRate) return b->lineRate();
  return kBoxLinkRate;
}

std::optional<std::chrono::milliseconds> BoxLine::TimeToNextEvent() const {
  std::optional<std::chrono::milliseconds> first;
  for (const auto& b : boxes_) {
    const auto left = b->TimeToNextEvent();
    if (!left) continue;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*left);
    if (!first || ms < *first) first = ms;
  }
  return first;
}

}  // namespace sc
