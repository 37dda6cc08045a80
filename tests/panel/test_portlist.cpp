// The port list: the serial adapters found under a root folder of fake device nodes and
// links (as udev lays them out), and the entries Preferences offers for them.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "panel/portlist.h"
#include "tests/panel/devicetree.h"

namespace {

TEST(PortList, SerialAdaptersPresent) {
  DeviceTree tree;
  tree.Device("ttyUSB0");
  tree.Device("ttyUSB1");
  tree.Device("ttyACM0");
  tree.Device("ttyS0");     // a built-in port: COM1 already stands for it
  tree.Device("ttyUSB2");
  tree.Link("usb-FTDI_FT232R_A1-if00-port0", "ttyUSB0");
  tree.Link("usb-Prolific_PL2303-if00-port0", "ttyUSB2");
  tree.Link("usb-Unplugged-if00-port0", "ttyUSB9");  // left behind: leads nowhere

  const QList<TSerialAdapter> found = SerialAdaptersPresent(tree.Root());
  struct Expected {
    QString path, name, device;
  };
  const Expected expected[] = {
      {tree.Path("dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"), "usb-FTDI_FT232R_A1-if00-port0", "ttyUSB0"},
      {tree.Path("dev/serial/by-id/usb-Prolific_PL2303-if00-port0"), "usb-Prolific_PL2303-if00-port0", "ttyUSB2"},
      {tree.Path("dev/ttyACM0"), "ttyACM0", "ttyACM0"},
      {tree.Path("dev/ttyUSB1"), "ttyUSB1", "ttyUSB1"},
  };
  ASSERT_EQ(found.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(found[i].path, expected[i].path) << i;
    EXPECT_EQ(found[i].name, expected[i].name) << i;
    EXPECT_EQ(found[i].device, expected[i].device) << i;
  }
  EXPECT_EQ(SerialAdapterPaths(tree.Root() + "/"),
            QStringList({expected[0].path, expected[1].path, expected[2].path, expected[3].path}));

  QTemporaryDir empty;
  EXPECT_TRUE(SerialAdaptersPresent(empty.path()).isEmpty());
}

// COM1 to COM4, the adapters, then the configured names none of them stands for; the entry a
// name stands for carries that name as it is.
TEST(PortList, Choices) {
  const QList<TSerialAdapter> adapters = {{"/dev/serial/by-id/usb-FTDI-if00-port0", "usb-FTDI-if00-port0", "ttyUSB0"},
                                          {"/dev/ttyACM0", "ttyACM0", "ttyACM0"}};
  const QStringList standard = {"Communications Port 1 (COM1)", "Communications Port 2 (COM2)",
                                "Communications Port 3 (COM3)", "Communications Port 4 (COM4)",
                                "usb-FTDI-if00-port0 (ttyUSB0)", "/dev/ttyACM0"};
  struct Row {
    const char* name;
    QStringList names;
    QStringList extraTexts;  // entries after the standard ones
    int selected;            // the entry names.first() stands for
    QString storedAs;        // what that entry stores
  };
  const Row rows[] = {
      {"ComTwo", {"COM2"}, {}, 1, "COM2"},
      {"LowerCaseComOne", {"com1"}, {}, 0, "com1"},
      {"LeadingZero", {"Com04"}, {}, 3, "Com04"},
      {"AnAdapter", {"/dev/serial/by-id/usb-FTDI-if00-port0"}, {}, 4, "/dev/serial/by-id/usb-FTDI-if00-port0"},
      {"ADevicePathNotPresent", {"/nonexistent/ttyUSB5"}, {"/nonexistent/ttyUSB5 (not connected)"}, 6,
       "/nonexistent/ttyUSB5"},
      {"ADevicePathPresent", {"/dev/null"}, {"/dev/null"}, 6, "/dev/null"},
      {"AnotherComPort", {"COM7"}, {"COM7"}, 6, "COM7"},
      {"ABareName", {"ttyUSB0"}, {"ttyUSB0"}, 6, "ttyUSB0"},
      {"Empty", {""}, {"(none)"}, 6, ""},
      {"ConfiguredAndChosen", {"/nonexistent/a", "/nonexistent/b"},
       {"/nonexistent/a (not connected)", "/nonexistent/b (not connected)"}, 6, "/nonexistent/a"},
  };
  for (const Row& row : rows) {
    const QList<TPortChoice> choices = PortChoices(adapters, row.names);
    QStringList texts;
    for (const TPortChoice& choice : choices) texts << choice.text;
    EXPECT_EQ(texts, standard + row.extraTexts) << row.name;
    const int at = FindPortChoice(choices, row.names.first());
    EXPECT_EQ(at, row.selected) << row.name;
    if (at >= 0) {
      EXPECT_EQ(choices[at].name, row.storedAs) << row.name;
    }
  }
  EXPECT_EQ(PortChoices({}, {}).size(), 4);
  EXPECT_EQ(FindPortChoice(PortChoices({}, {}), "COM5"), -1);
  EXPECT_EQ(FindPortChoice(PortChoices({}, {}), "/dev/ttyS0"), -1);
}

}  // namespace
