// fuzz-seeds DIR: writes the seed corpus of every fuzz target into DIR/<target>/, from the
// frames, files and commands the tests use: the simulated box's answers to the console's
// requests, its EDIDs as images and files, address books, command lines.

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "addressing/address_book.h"
#include "edid/edid_file.h"
#include "link/frame.h"
#include "sim/box_edids.h"
#include "sim/box_infoframes.h"
#include "sim/box_signal.h"
#include "sim/simulated_box.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(const std::string& dir, const std::string& target, int n, const Bytes& bytes) {
  const std::string folder = dir + "/" + target;
  ::mkdir(folder.c_str(), 0755);
  std::ofstream(folder + "/seed-" + std::to_string(n), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes Of(uint8_t first, const std::string& text) {
  Bytes b{first};
  b.insert(b.end(), text.begin(), text.end());
  return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The console's requests, as the status chain, the EDID page and the search send them.
std::vector<Bytes> Requests(sc::DeviceAddress to) {
  std::vector<Bytes> frames;
  for (uint16_t code : {0x8082, 0x8081, 0x8080, 0xF850, 0x8091, 0x8090, 0xF801, 0xF802})
    frames.push_back(sc::BuildFrame(sc::kCommandLead, to, code));
  for (uint8_t preset : {0, 4, 14})
    frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0xF851, &preset, 1));
  Bytes write(257, 0);
  const sc::EdidImage user = sc::BuiltInEdid(3);
  std::copy(user.begin(), user.end(), write.begin() + 1);
  frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0x7851, write));
  const uint8_t select = 7;
  frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0x7850, &select, 1));
  // InfoFrames and data-island packets of several types, a recording and its record.
  for (uint8_t type : {0x82, 0x83, 0x84, 0x87, 0x01, 0x03, 0x7F})
    frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0x8092, &type, 1));
  const Bytes settings = {5, 0, 0, 0x07, 0xEA, 12, 8};
  frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0x0096, settings));
  frames.push_back(sc::BuildFrame(sc::kCommandLead, to, 0x8096));
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz-seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  ::mkdir(dir.c_str(), 0755);

  // The reply parser: the box's answers under each mode byte.
  sc::SimulatedBox box({0x0A, 0x03});
  Bytes answers;
  int n = 0;
  for (const Bytes& request : Requests({0x00, 0x00})) {
    const Bytes reply = box.Receive(request);
    answers = Cat(answers, reply);
    Put(dir, "fuzz_reply_parser", n++, Cat({0x00}, reply));
  }
  box.SetSignal(*sc::FindBoxSignal("720p60"), true);
  const Bytes notice = box.TakeUnsolicited();
  for (uint8_t mode = 0; mode < 16; ++mode)
    Put(dir, "fuzz_reply_parser", n++, Cat(Cat({mode}, answers), notice));
  // Garbage, a cut-off frame and the search answer from another box.
  Put(dir, "fuzz_reply_parser", n++,
      Cat({0x08, 0x13, 0xAB, 0xAB, 0x01, 0x00, 0x07},
          sc::BuildFrame(sc::kReplyLead, {0x12, 0x34}, 0xF802, Bytes{0x01, 0x00})));

  // EDIDs: decoded, parsed as text, opened as files.
  n = 0;
  for (int preset = 0; preset < sc::kBuiltInEdidCount; ++preset) {
    const sc::EdidImage image = sc::BuiltInEdid(preset);
    const Bytes raw(image.begin(), image.end());
    const std::string text = sc::FormatEdidTextFile(image);
    Put(dir, "fuzz_edid", n++, Cat({0}, raw));
    Put(dir, "fuzz_edid", n++, Of(1, text));
    Put(dir, "fuzz_edid", n++, Of(2, text.substr(0, 390) + " 0x1f -a\t+7 0X"));
    Put(dir, "fuzz_edid", n++, Cat({3}, Bytes(raw.begin(), raw.begin() + 200)));
  }

  // The full decoder: the box's EDIDs as they are, with a third block, and cut short.
  n = 0;
  for (int preset = 0; preset < sc::kBuiltInEdidCount; ++preset) {
    const sc::EdidImage image = sc::BuiltInEdid(preset);
    const Bytes raw(image.begin(), image.end());
    Put(dir, "fuzz_edid_model", n++, Cat({static_cast<uint8_t>(preset << 2 | 1)}, raw));
    Bytes three = Cat(raw, Bytes(raw.begin() + 128, raw.end()));
    three[126] = 2;
    Put(dir, "fuzz_edid_model", n++, Cat({static_cast<uint8_t>(preset << 2 | 2)}, three));
    Put(dir, "fuzz_edid_model", n++, Cat({1}, Bytes(raw.begin(), raw.begin() + 200)));
  }

  // The editor: the box's EDIDs with a few edit sequences (no 4K, no HDR, stereo PCM; a
  // new name, address and preferred timing; VICs added and marked native).
  n = 0;
  const std::vector<Bytes> sequences = {
      {9, 0x75, 0x30, 0, 19, 0, 0, 0, 11, 2, 0, 0, 12, 0x21, 0x07, 0x07},
      {0, 8, 'A', 1, 14, 0x20, 0x00, 0, 4, 4, 0, 0, 5, 1, 0, 0},
      {7, 97, 0, 0, 7, 19, 1, 0, 8, 4, 0, 0, 6, 16, 0, 0},
      {16, 45, 0, 0, 17, 120, 0, 0, 18, 0, 0, 0, 20, 5, 0, 0}};
  for (int preset = 0; preset < sc::kBuiltInEdidCount; ++preset) {
    const sc::EdidImage image = sc::BuiltInEdid(preset);
    for (const Bytes& sequence : sequences) {
      Bytes seed = {1, static_cast<uint8_t>(sequence.size() / 4)};
      seed = Cat(Cat(seed, sequence), Bytes(image.begin(), image.end()));
      Put(dir, "fuzz_edid_editor", n++, seed);
    }
  }

  // Address books: as first made, as saved, damaged.
  sc::AddressBook book;
  book[0] = {{0x0A, 0x03}, "Rack A"};
  book[1] = {{0xFF, 0xFF}, "*x* y  "};
  book[2] = {{0x12, 0x34}, "0123456789"};
  const std::string saved = sc::SettingsFileText(book);
  n = 0;
  Put(dir, "fuzz_address_book", n++, Bytes(saved.begin(), saved.end()));
  const std::string first = sc::SettingsFileText(sc::AddressBook());
  Put(dir, "fuzz_address_book", n++, Bytes(first.begin(), first.end()));
  Put(dir, "fuzz_address_book", n++, Bytes(saved.begin(), saved.begin() + 200));
  const std::string odd = "0a03 -1 0x12 zz\n*" + std::string(60, '-') + "*twelve chars\r\n*\r\n";
  Put(dir, "fuzz_address_book", n++, Bytes(odd.begin(), odd.end()));

  // The box's frame input: every request, in chunks.
  n = 0;
  for (uint8_t chunk = 0; chunk < 8; ++chunk) {
    Bytes all{chunk};
    for (const Bytes& request :
         Requests(chunk & 1 ? sc::DeviceAddress{0x0A, 0x00} : sc::DeviceAddress{0x0A, 0x03}))
      all = Cat(all, request);
    Put(dir, "fuzz_box_frames", n++, all);
  }

  // The simulator's commands.
  const std::string commands[] = {
      "signal 720p60\ninput sdi\nhpd off\nvolume 8\nedid 14\nstatus\n",
      "box 0A03\nedidfail on\ndrop 2\ncorrupt 1\ndelay 10\nbox all\nsignal none quiet\n",
      "help\n# a comment\n  \nbogus words here\nvolume 9\nbox FFFF\nhangup\nquit\nstatus\n",
      "signal 2160p60 hdr10\nhdr off\ninfoframe avi 02 0D 47 10 08 00 04\ninfoframe 0x87 default\n",
  };
  n = 0;
  for (const std::string& c : commands)
    Put(dir, "fuzz_sim_commands", n++, Bytes(c.begin(), c.end()));

  // InfoFrames: the measured signal's 8 bytes (1920x1080p60, RGB, 48 kHz stereo), then
  // every packet the box sends, with HDR10 and with 3D.
  const Bytes measured = {120, 67, 120, 0, 1, 3, 2, 1};
  sc::BoxSignal hdr = *sc::FindBoxSignal("2160p60");
  hdr.hdr10 = true;
  sc::BoxSignal threeD = *sc::FindBoxSignal("1080p24-3d");
  n = 0;
  for (const sc::BoxSignal& signal : {*sc::FindBoxSignal("1080p60"), hdr, threeD})
    for (const uint8_t type : {0x81, 0x82, 0x83, 0x84, 0x87})
      Put(dir, "fuzz_infoframe", n++, Cat(measured, sc::CapturedInfoFrame(signal, type)));
  Put(dir, "fuzz_infoframe", n++, Cat(measured, {0x0A, 0x81, 0x31, 1, 2, 3}));
  Put(dir, "fuzz_infoframe", n++, Cat(measured, {0x05, 0xC1, 0x00, 0x55, 0x53}));

  // The watcher's settings files.
  const std::string configs[] = {
      "# rack 1\nport = /dev/ttyUSB0\nboxes = 0101,0102,0103\nevery = 5\ntimeout = 1\n"
      "metrics = :9105\nmetrics-public = no\n",
      "port=COM3\r\nbook = /etc/signal-console/TQ.ini\r\nmetrics = 0.0.0.0:9105\r\n"
      "metrics-public = yes\r\n",
      "boxes = 0101,0A00,FFFF,0101\nboxes = 0102\nfoo\n",
  };
  n = 0;
  for (const std::string& c : configs)
    Put(dir, "fuzz_watch_config", n++, Bytes(c.begin(), c.end()));

  // The watcher's answers: whole rounds of two boxes in several formats, a silent box, and
  // answers cut short.
  n = 0;
  for (const char* format : {"1080p60", "none", "sdi-1080i50", "2160p60", "1080p24-3d"}) {
    const sc::BoxSignal signal = *sc::FindBoxSignal(format);
    const auto timing = signal.timing.Bytes();
    const auto status = signal.status.Bytes();
    Bytes round;
    for (int box = 0; box < 2; ++box) {
      round = Cat(round, {1, signal.input});
      round = Cat(round,
                  Cat({static_cast<uint8_t>(timing.size())}, Bytes(timing.begin(), timing.end())));
      round = Cat(round,
                  Cat({static_cast<uint8_t>(status.size())}, Bytes(status.begin(), status.end())));
    }
    Put(dir, "fuzz_watch_replies", n++, Cat(Cat(round, {0xB2}), round));
    Put(dir, "fuzz_watch_replies", n++,
        Cat(Cat({1, signal.input, 0x8A, 0x8A}, round), {5, 1, 2, 3, 4, 5}));
  }
  // A network port's input: ser2net's banners, a box's answers after noise in pieces,
  // addresses, and map files.
  using namespace std::string_literals;
  n = 0;
  Put(dir, "fuzz_network_input", n++, Of(0, "\0Port already in use\r\n"s));
  Put(dir, "fuzz_network_input", n++, Of(1, "\x03\x05\x01\x20Port's device already in use\r\n"s));
  Put(dir, "fuzz_network_input", n++, Cat(Of(2, "\x02\x04\x00\r\nhi"s), answers));
  for (const char* address :
       {"rfc2217://rack-3:7001", "tcp://192.0.2.7:4001", "RFC2217://[2001:db8::7]:1",
        "tcp://rack-3.studio.example:07001", "tcp://2001:db8::7:4001", "tcp://[::1]:65536"})
    Put(dir, "fuzz_network_input", n++, Of(4, address));
  Put(dir, "fuzz_network_input", n++,
      Of(5, "# map\n5=rfc2217://rack-3:7001\n 12 = tcp://[::1]:4001 \r\nx=tcp://a:1\n"));
  return 0;
}
