#include "console/front_panel.h"

#include <optional>

#include "console/console_dialog.h"
#include "console/control_ids.h"
#include "link/codes.h"

namespace sc {

namespace {

std::optional<int> StepOfPercent(int percent) {
  for (int step = 0; step < kVolumeSteps; ++step)
    if (kVolumePercent[step] == percent) return step;
  return std::nullopt;
}

VolumeSetting AtStep(int step) {
  return {static_cast<uint8_t>(step), kVolumePercent[step]};
}

}  // namespace

int VolumePercentOfStep(int8_t step) {
  return step >= 0 && step <= 7 ? kVolumePercent[step] : 100;
}

VolumeSetting VolumeStepDown(int percent) {
  const std::optional<int> step = StepOfPercent(percent);
  return AtStep(step && *step > 0 ? *step - 1 : 0);
}

VolumeSetting VolumeStepUp(int percent) {
  const std::optional<int> step = StepOfPercent(percent);
  return AtStep(step && *step < kVolumeSteps - 1 ? *step + 1 : kVolumeSteps - 1);
}

// ---------------------------------------------------------------------------------------
// ConsoleDialog's front-panel controls. Each sends its command and shows the new state at
// once; the replies of the status chain bring the controls back in line with the box.

void ConsoleDialog::HpdOn() {
  SetHotPlug(0);
}

void ConsoleDialog::HpdOff() {
  SetHotPlug(1);
}

void ConsoleDialog::SetHotPlug(int choice) {
  Pull();
  // The clicked button is the checked one, also when the command cannot go out.
  hpdChoice = choice;
  const uint8_t setting = static_cast<uint8_t>(choice);
  SendCommandWithData(code::kSetHotPlug, 1, &setting);
  Push();
}

void ConsoleDialog::VolumeDown() {
  Pull();  // the volume box gives the percentage shown
  SetVolume(VolumeStepDown(volumePercent));
}

void ConsoleDialog::VolumeUp() {
  Pull();
  SetVolume(VolumeStepUp(volumePercent));
}

void ConsoleDialog::SetVolume(const VolumeSetting& setting) {
  volumePercent = setting.percent;
  SendCommandWithData(code::kSetVolume, 1, &setting.step);
  Push();
}

void ConsoleDialog::SelectHdmiInput() {
  ShowInput(false);
  const uint8_t hdmi = 0;
  SendCommandWithData(code::kSetInput, 1, &hdmi);
}

void ConsoleDialog::SelectSdiInput() {
  ShowInput(true);
  // SDI has no hot-plug line; the radios show "OFF" at the next refresh of the window.
  hpdChoice = 1;
  const uint8_t sdi = 1;
  SendCommandWithData(code::kSetInput, 1, &sdi);
}

void ConsoleDialog::ShowInput(bool sdi) {
  view().SetIcon(ids::kHdmiIcon, sdi ? ids::kIconLampUnlit : ids::kIconLampLit);
  view().SetIcon(ids::kSdiIcon, sdi ? ids::kIconLampLit : ids::kIconLampUnlit);
  view().SetEnabled(ids::kHpdOn, !sdi);
  view().SetEnabled(ids::kHpdOff, !sdi);
  inputIsSdi_ = sdi;
  shownInput_ = sdi;
}

}  // namespace sc
