#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "settings/chillerinfo.h"
#include "tests/support/guitest.h"
#include "ui/wall.h"

namespace {

class AboutBox : public GuiTest {
 protected:
  TfrmAbout about;
};

TEST_F(AboutBox, IsASmallFixedToolWindowWithoutTitleBarButtons) {
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.minimumSize(), QSize(350, 237));
  EXPECT_EQ(about.maximumSize(), QSize(350, 237));
  const Qt::WindowFlags flags = about.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
}

TEST_F(AboutBox, IsFilledByATiledPanelWithoutOuterBevel) {
  about.show();
  EXPECT_EQ(about.Wallpaper1->geometry(), QRect(0, 0, 350, 237));
  EXPECT_EQ(about.Wallpaper1->BevelOuter(), TWallpaper::TBevel::None);
  EXPECT_EQ(about.Wallpaper1->Wallpaper().size(), QSize(128, 128));
  for (QLabel* label : about.findChildren<QLabel*>()) {
    EXPECT_EQ(label->parentWidget(), about.Wallpaper1) << label->objectName().toStdString();
    EXPECT_FALSE(label->autoFillBackground()) << label->objectName().toStdString();
  }
}

TEST_F(AboutBox, IsCentredOnTheScreen) {
  about.show();
  const QPoint centre = about.screen()->availableGeometry().center();
  EXPECT_LE((about.frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(AboutBox, EveryControlStandsAtItsPlaceWithItsText) {
  const struct {
    const char* name;
    QPoint position;
    const char* text;  // nullptr for pictures and lines
  } controls[] = {
      {"Image1", {4, 4}, nullptr},
      {"lblProductName", {56, 4}, "Quell Panel "},
      {"Label2", {56, 28}, "Sales Order Entry"},
      {"VersionTitle", {56, 64}, "Version: "},
      {"lblVersion", {100, 64}, "1.00"},
      {"BuildTitle", {156, 64}, "Build:"},
      {"lblBuild", {188, 64}, "008"},
      {"Bevel1", {56, 88}, nullptr},
      {"lblCopyright", {56, 100}, "Copyright (c) 2026 the Quellso project"},
      {"DeveloperTitle", {56, 124}, "Developed By:"},
      {"Image2", {132, 124}, nullptr},
      {"lblDeveloper", {176, 124}, "The Quellso developers"},
      {"Label1", {176, 140}, "https://quellso.invalid/"},
      {"Bevel2", {56, 164}, nullptr},
      {"WarningTitle", {56, 176}, "Warning:"},
      {"Label6", {104, 176}, nullptr},
      {"Button1", {268, 204}, "Ok"},
  };
  for (const auto& c : controls) {
    auto* widget = about.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr) << c.name;
    EXPECT_EQ(widget->pos(), c.position) << c.name;
    if (!c.text) continue;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), c.text) << c.name;
    } else if (auto* button = qobject_cast<QToolButton*>(widget)) {
      EXPECT_EQ(button->text(), c.text) << c.name;
    }
  }
}

TEST_F(AboutBox, PicturesAndLinesHaveTheirSizes) {
  EXPECT_EQ(about.Image1->size(), QSize(43, 43));
  EXPECT_EQ(about.Image1->pixmap().size(), QSize(43, 43));
  EXPECT_EQ(about.Image2->size(), QSize(37, 30));
  EXPECT_EQ(about.Image2->pixmap().size(), QSize(37, 30));
  for (QFrame* rule : {about.Bevel1, about.Bevel2}) {
    EXPECT_EQ(rule->width(), 285);
    EXPECT_EQ(rule->frameShape(), QFrame::HLine);
  }
}

TEST_F(AboutBox, ProductNameIsLargeBoldItalic) {
  for (QLabel* label : {about.lblProductName, about.Label2}) {
    EXPECT_EQ(label->font().pixelSize(), 21);
    EXPECT_TRUE(label->font().bold());
    EXPECT_TRUE(label->font().italic());
  }
  EXPECT_FALSE(about.VersionTitle->font().bold());
}

TEST_F(AboutBox, NoticeWrapsWithinItsWidth) {
  EXPECT_TRUE(about.Label6->wordWrap());
  EXPECT_EQ(about.Label6->width(), 150);
  EXPECT_GE(about.Label6->height(), 2 * about.Label6->fontMetrics().height());
  EXPECT_GE(about.Label6->heightForWidth(150), about.Label6->fontMetrics().boundingRect(
                                                   QRect(0, 0, 150, 1000), Qt::TextWordWrap, about.Label6->text())
                                                   .height());
  EXPECT_TRUE(about.Label6->text().endsWith('.'));
}

// Nothing clipped or overlapping: every text fits inside the box, and no two controls share
// a pixel of their text.
TEST_F(AboutBox, NothingIsClippedOrOverlapping) {
  about.show();
  const QRect box(0, 0, 350, 237);
  QList<QWidget*> controls;
  for (QWidget* child : about.Wallpaper1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) controls.append(child);
  ASSERT_EQ(controls.size(), 17);
  // Where the text or picture really is: labels take the width of their text without its
  // trailing blanks.
  auto extent = [](QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap() && label->pixmap().isNull()) {
      const int ink = label->fontMetrics().horizontalAdvance(label->text().trimmed());
      return QRect(label->pos(), QSize(ink, label->height()));
    }
    return w->geometry();
  };
  for (QWidget* control : controls) {
    EXPECT_TRUE(box.contains(extent(control))) << control->objectName().toStdString();
    if (auto* label = qobject_cast<QLabel*>(control); label && label->pixmap().isNull()) {
      if (label->wordWrap())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->objectName().toStdString();
      else
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
    }
  }
  for (qsizetype i = 0; i < controls.size(); ++i)
    for (qsizetype j = i + 1; j < controls.size(); ++j)
      EXPECT_FALSE(extent(controls[i]).intersects(extent(controls[j])))
          << controls[i]->objectName().toStdString() << " and " << controls[j]->objectName().toStdString();
}

TEST_F(AboutBox, OkIsAFlatHandCursorButtonWithATwoStateGlyph) {
  QToolButton* ok = about.Button1;
  EXPECT_EQ(ok->size(), QSize(69, 25));
  EXPECT_TRUE(ok->autoRaise());
  EXPECT_EQ(ok->cursor().shape(), Qt::PointingHandCursor);
  ASSERT_FALSE(ok->icon().isNull());
  EXPECT_NE(ok->icon().pixmap(16, QIcon::Normal).toImage(), ok->icon().pixmap(16, QIcon::Disabled).toImage());
}

TEST_F(AboutBox, OkClosesTheModalBox) {
  bool clicked = false;
  QTimer::singleShot(0, &about, [&] {
    QTest::mouseClick(about.Button1, Qt::LeftButton);
    clicked = true;
  });
  // Watchdog: a box that does not close fails the test instead of hanging it.
  QTimer::singleShot(5000, &about, [&] { about.done(-1); });
  EXPECT_EQ(about.exec(), QDialog::Accepted);
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
