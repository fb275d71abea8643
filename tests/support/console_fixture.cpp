#include "tests/support/console_fixture.h"

namespace sc {

ConsoleDialog::Options TestConsoleOptions(const TempDir& dir,
                                          const std::map<int, std::string>* ports) {
  ConsoleDialog::Options options;
  options.executablePath = dir / "signal-console";
  SettingsEnvironment environment;
  environment.directoryWritable = [](const std::string&) { return true; };
  options.settingsEnvironment = environment;
  options.ports = [ports] {
    std::string entries;
    for (const auto& [number, path] : *ports)
      entries += std::to_string(number) + "=" + path + ",";
    return PortDirectory::Build(entries, {});
  };
  return options;
}

void ConsoleFixture::StartConsole() {
  ConsoleDialog::Options options = TestConsoleOptions(dir, &portMap);
  if (adjustOptions) adjustOptions(options);
  dialog = std::make_unique<ConsoleDialog>(host, std::move(options));
  dialog->AttachView(&view);
  dialog->onDispatch = [this](uint16_t code) { dispatched.push_back(code); };
  ASSERT_TRUE(dialog->Startup());
}

std::vector<uint8_t> ConsoleFixture::Command(DeviceAddress to, uint16_t code,
                                             std::vector<uint8_t> payload) {
  return BuildFrame(kCommandLead, to, code, payload);
}

std::vector<uint8_t> ConsoleFixture::Reply(DeviceAddress from, uint16_t code,
                                           std::vector<uint8_t> payload) {
  return BuildFrame(kReplyLead, from, code, payload);
}

void ConsoleFixture::Feed(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    if (dialog->searchActive())
      dialog->MatchSearchReply(b);
    else
      dialog->ParseReplyByte(b);
  }
}

std::vector<std::string> ConsoleFixture::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : host.messages)
    texts.push_back(m.text);
  return texts;
}

}  // namespace sc
