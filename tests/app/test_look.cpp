// The windows drawn over pictures look the same whatever the desktop's colours and font: a
// dark scheme and a 14-point desktop font change nothing in them.

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <functional>
#include <memory>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "tests/support/guitest.h"

namespace {

// The scheme a dark desktop theme (GTK's Adwaita dark) hands the program.
QPalette DarkDesktop() {
  QPalette dark;
  const struct {
    QPalette::ColorRole role;
    QRgb colour;
  } roles[] = {{QPalette::Window, 0xff323232},   {QPalette::WindowText, 0xfff0f0f0}, {QPalette::Base, 0xff242424},
               {QPalette::Text, 0xfff0f0f0},     {QPalette::Button, 0xff323232},     {QPalette::ButtonText, 0xfff0f0f0},
               {QPalette::Light, 0xff4b4b4b},    {QPalette::Midlight, 0xff2a2a2a},   {QPalette::Dark, 0xff212121},
               {QPalette::Mid, 0xff262626},      {QPalette::Shadow, 0xff191919},     {QPalette::BrightText, 0xff4b4b4b},
               {QPalette::AlternateBase, 0xff2b2b2b}, {QPalette::Highlight, 0xff308cc6}};
  for (const auto& r : roles) dark.setColor(r.role, QColor::fromRgba(r.colour));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x82, 0x82, 0x82));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x82, 0x82, 0x82));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x82, 0x82, 0x82));
  return dark;
}

struct Window {
  const char* name;
  std::function<std::unique_ptr<QWidget>()> make;
};

UnitDataRecord record{};

const Window kWindows[] = {
    {"main window", [] { return std::make_unique<TfrmMain>(record); }},
    {"Preferences", [] { return std::make_unique<TfrmPreferences>(); }},
    {"About", [] { return std::make_unique<TfrmAbout>(); }},
    {"sales order", [] { return std::make_unique<TfrmSalesOrderEntry>(); }},
    {"choices", [] { return std::make_unique<TfrmUpzChoices>(); }},
    {"warning", [] { return std::make_unique<TfrmDefaultLengthWarning>(); }},
};

QImage Picture(const Window& window) { return window.make()->grab().toImage(); }

class Look : public GuiTest {
 protected:
  void TearDown() override {
    QApplication::setPalette(defaultPalette);
    QApplication::setFont(defaultFont);
    GuiTest::TearDown();
  }
  const QPalette defaultPalette = QApplication::palette();
  const QFont defaultFont = QApplication::font();
};

TEST_F(Look, ADarkDesktopChangesNothing) {
  std::vector<QImage> usual;
  for (const Window& window : kWindows) usual.push_back(Picture(window));
  QApplication::setPalette(DarkDesktop());
  for (std::size_t i = 0; i < std::size(kWindows); ++i) {
    const QImage dark = Picture(kWindows[i]);
    EXPECT_EQ(dark, usual[i]) << kWindows[i].name;
  }
}

TEST_F(Look, ALargeDesktopFontChangesNothing) {
  std::vector<QImage> usual;
  for (const Window& window : kWindows) usual.push_back(Picture(window));
  QFont large(QStringLiteral("DejaVu Sans"));
  large.setPointSize(14);
  QApplication::setFont(large);
  for (std::size_t i = 0; i < std::size(kWindows); ++i) {
    const QImage big = Picture(kWindows[i]);
    EXPECT_EQ(big, usual[i]) << kWindows[i].name;
  }
  // The captions of Preferences fit their places.
  TfrmPreferences preferences;
  for (QLabel* label : preferences.findChildren<QLabel*>())
    EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
}

}  // namespace
