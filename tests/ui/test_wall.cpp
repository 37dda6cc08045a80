#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <stdexcept>
#include <vector>

#include "tests/support/guitest.h"
#include "ui/pictures.h"
#include "ui/wall.h"

namespace {

using TBevel = TWallpaper::TBevel;
using TAlign = TWallpaper::TAlign;

// A wallpaper panel that records where its tiles are drawn, and can be told to fail.
class RecordingWall : public TWallpaper {
 public:
  using TWallpaper::TWallpaper;

  std::vector<QRect> tiles;
  int paints = 0;
  bool failDrawing = false;

  // Paints the panel into an image of its size, as its paint event would.
  QImage Render(const QRect& exposed = {}) {
    QImage image(size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    tiles.clear();
    Paint(painter, exposed);
    return image;
  }
  void PaintOn(QPainter& painter) { Paint(painter); }

 protected:
  void DrawTile(QPainter& painter, const QPoint& topLeft) override {
    tiles.emplace_back(topLeft, Wallpaper().size());
    if (failDrawing) throw std::runtime_error("drawing failed");
    TWallpaper::DrawTile(painter, topLeft);
  }
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    tiles.clear();
    TWallpaper::paintEvent(event);
  }
};

// The colour of one pixel, at 8 bits a channel.
QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y); }
QRgb Rgb(QColor colour) { return colour.rgb(); }

QPixmap Solid(int w, int h, QColor colour) {
  QPixmap picture(w, h);
  picture.fill(colour);
  return picture;
}

std::vector<QRect> Grid(std::initializer_list<int> xs, std::initializer_list<int> ys, QSize tile) {
  std::vector<QRect> rects;
  for (int x : xs)
    for (int y : ys) rects.emplace_back(QPoint(x, y), tile);
  return rects;
}

// ---- where the tiles go ---------------------------------------------------------------

struct TileCase {
  const char* name;
  QSize panel;
  QSize picture;  // empty: no picture at all
  int border;
  TBevel outer;
  TBevel inner;
  int bevelWidth;
  std::vector<QRect> expected;
};

class TileGeometry : public ::testing::TestWithParam<TileCase> {};

TEST_P(TileGeometry, DrawsTheseTiles) {
  const TileCase& c = GetParam();
  RecordingWall wall;
  wall.resize(c.panel);
  wall.SetBorderWidth(c.border);
  wall.SetBevelOuter(c.outer);
  wall.SetBevelInner(c.inner);
  wall.SetBevelWidth(c.bevelWidth);
  if (!c.picture.isEmpty()) wall.SetWallpaper(Solid(c.picture.width(), c.picture.height(), Qt::red));
  wall.Render();
  EXPECT_EQ(wall.tiles, c.expected);
}

const QSize k128(128, 128);

INSTANTIATE_TEST_SUITE_P(
    Wallpaper, TileGeometry,
    ::testing::Values(
        TileCase{"NoPicture", {300, 100}, {}, 0, TBevel::Raised, TBevel::None, 1, {}},
        TileCase{"PanelSmallerThanOneTile", {50, 40}, k128, 0, TBevel::Raised, TBevel::None, 1, {{1, 1, 128, 128}}},
        TileCase{"RaisedBevelWidthOneStartsOnePixelIn",
                 {300, 100}, {128, 40}, 0, TBevel::Raised, TBevel::None, 1,
                 Grid({1, 129, 257}, {1, 41, 81}, {128, 40})},
        TileCase{"NoOuterBevelStartsAtTheEdge",
                 {300, 100}, {128, 40}, 0, TBevel::None, TBevel::None, 1,
                 Grid({0, 128, 256}, {0, 40, 80}, {128, 40})},
        // The inner area holds exactly two by one tiles; one more is still drawn each way
        // (and clipped away entirely).
        TileCase{"ExactFitStillDrawsOneMoreEachWay",
                 {258, 42}, {128, 40}, 0, TBevel::Raised, TBevel::None, 1,
                 Grid({1, 129, 257}, {1, 41}, {128, 40})},
        TileCase{"BorderAndBothBevelsAddUp",
                 {100, 60}, {40, 40}, 3, TBevel::Lowered, TBevel::Raised, 2,
                 Grid({7, 47, 87}, {7, 47}, {40, 40})},
        TileCase{"SpaceBevelCountsToo", {20, 20}, {8, 8}, 0, TBevel::Space, TBevel::None, 2,
                 Grid({2, 10, 18}, {2, 10, 18}, {8, 8})},
        TileCase{"ClientNarrowerThanTwiceTheInset", {7, 100}, k128, 2, TBevel::Raised, TBevel::Lowered, 1, {}},
        TileCase{"ClientLowerThanTwiceTheInset", {100, 3}, k128, 0, TBevel::Raised, TBevel::None, 2, {}},
        TileCase{"ClientExactlyTwiceTheInset", {8, 8}, k128, 2, TBevel::Raised, TBevel::Lowered, 1, {}}),
    [](const ::testing::TestParamInfo<TileCase>& info) { return std::string(info.param.name); });

TEST(Wallpaper, EmptyPictureDrawsNoTile) {
  RecordingWall wall;
  wall.resize(100, 100);
  wall.SetWallpaper(QPixmap());
  wall.Render();
  EXPECT_TRUE(wall.tiles.empty());
}

TEST(Wallpaper, ARepaintDrawsOnlyTheTilesItUncovers) {
  RecordingWall wall;
  wall.resize(300, 100);
  wall.SetWallpaper(Solid(128, 40, Qt::red));
  wall.Render(QRect(140, 50, 10, 10));
  EXPECT_EQ(wall.tiles, Grid({129}, {41}, {128, 40}));
}

// ---- what the panel looks like ---------------------------------------------------------

TEST(Wallpaper, TilesAreCutAtTheInnerEdgeAndLeaveTheBevelVisible) {
  RecordingWall wall;
  wall.resize(50, 40);
  wall.SetWallpaper(Solid(128, 128, Qt::red));
  const QImage image = wall.Render();
  const QColor light = wall.palette().color(QPalette::Light);
  const QColor dark = wall.palette().color(QPalette::Dark);
  EXPECT_EQ(At(image, 0, 0), Rgb(light));
  EXPECT_EQ(At(image, 25, 0), Rgb(light));
  EXPECT_EQ(At(image, 0, 20), Rgb(light));
  EXPECT_EQ(At(image, 49, 20), Rgb(dark));
  EXPECT_EQ(At(image, 25, 39), Rgb(dark));
  EXPECT_EQ(At(image, 1, 1), Rgb(QColor(Qt::red)));
  EXPECT_EQ(At(image, 48, 38), Rgb(QColor(Qt::red)));
}

TEST(Wallpaper, WithoutOuterBevelTilesCoverTheEdge) {
  RecordingWall wall;
  wall.resize(50, 40);
  wall.SetBevelOuter(TBevel::None);
  wall.SetWallpaper(Solid(128, 128, Qt::red));
  const QImage image = wall.Render();
  EXPECT_EQ(At(image, 0, 0), Rgb(QColor(Qt::red)));
  EXPECT_EQ(At(image, 49, 39), Rgb(QColor(Qt::red)));
}

TEST(Wallpaper, WithoutPictureItPaintsAPlainPanelWithItsCaption) {
  RecordingWall wall;
  wall.resize(120, 40);
  wall.SetColor(QColor(10, 200, 30));
  const QImage blank = wall.Render();
  EXPECT_EQ(At(blank, 60, 20), Rgb(QColor(10, 200, 30)));
  EXPECT_EQ(At(blank, 0, 0), Rgb(wall.palette().color(QPalette::Light)));

  wall.SetCaption("WWWW");
  const QImage captioned = wall.Render();
  int textPixels = 0;
  for (int x = 2; x < 118; ++x)
    for (int y = 2; y < 38; ++y) textPixels += At(captioned, x, y) != Rgb(QColor(10, 200, 30));
  EXPECT_GT(textPixels, 20);
}

TEST(Wallpaper, TransparentPartsShowThePanelColour) {
  QImage picture(16, 16, QImage::Format_ARGB32);
  picture.fill(Qt::transparent);
  picture.setPixelColor(3, 3, Qt::blue);
  RecordingWall wall;
  wall.resize(40, 40);
  wall.SetColor(QColor(10, 200, 30));
  wall.SetWallpaper(QPixmap::fromImage(picture));
  const QImage image = wall.Render();
  EXPECT_EQ(At(image, 1 + 3, 1 + 3), Rgb(QColor(Qt::blue)));
  EXPECT_EQ(At(image, 1 + 16 + 3, 1 + 3), Rgb(QColor(Qt::blue)));
  EXPECT_EQ(At(image, 10, 10), Rgb(QColor(10, 200, 30)));
}

// ---- the painter's state ---------------------------------------------------------------

TEST(Wallpaper, PaintRestoresThePainterAlsoWhenDrawingFails) {
  RecordingWall wall;
  wall.resize(100, 100);
  wall.SetWallpaper(Solid(32, 32, Qt::red));
  QImage image(100, 100, QImage::Format_ARGB32);
  QPainter painter(&image);
  painter.setPen(Qt::green);

  wall.PaintOn(painter);
  EXPECT_FALSE(painter.hasClipping());

  wall.failDrawing = true;
  EXPECT_THROW(wall.PaintOn(painter), std::runtime_error);
  EXPECT_FALSE(painter.hasClipping());
  EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
}

// ---- a new picture ---------------------------------------------------------------------

class WallpaperOnScreen : public GuiTest {};

TEST_F(WallpaperOnScreen, ANewPictureRepaintsThePanelAtOnce) {
  RecordingWall wall;
  wall.SetAlign(TAlign::None);
  wall.resize(200, 100);
  wall.SetWallpaper(Solid(128, 128, Qt::red));
  wall.show();
  ASSERT_TRUE(WaitUntil([&] { return wall.paints > 0; }));

  wall.paints = 0;
  wall.tiles.clear();
  wall.SetWallpaper(Solid(64, 64, Qt::blue));
  ASSERT_TRUE(WaitUntil([&] { return wall.paints > 0; }));
  // The whole panel: 198 / 64 = 3 columns and 98 / 64 = 1 row, plus one more each way.
  EXPECT_EQ(wall.tiles, Grid({1, 65, 129, 193}, {1, 65}, {64, 64}));
  EXPECT_EQ(At(wall.grab().toImage(), 100, 50), Rgb(Qt::blue));
}

// ---- construction and alignment ----------------------------------------------------------

TEST(Wallpaper, StartsAlignedToTheTopShowingItsOwnHints) {
  TWallpaper wall;
  EXPECT_EQ(wall.Align(), TAlign::Top);
  EXPECT_TRUE(wall.ShowHint());
  EXPECT_FALSE(wall.ParentShowHint());
  EXPECT_EQ(wall.BevelOuter(), TBevel::Raised);
  EXPECT_EQ(wall.BevelInner(), TBevel::None);
  EXPECT_EQ(wall.BevelWidth(), 1);
  EXPECT_EQ(wall.BorderWidth(), 0);
  EXPECT_EQ(wall.Inset(), 1);
}

TEST_F(WallpaperOnScreen, ShowHintOffKeepsThePanelsTooltipHidden) {
  TWallpaper wall;
  wall.SetAlign(TAlign::None);
  wall.resize(100, 50);
  wall.setToolTip("panel hint");
  wall.show();
  auto ask = [&] {
    QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), wall.mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(&wall, &help);
    return QToolTip::isVisible() && QToolTip::text() == "panel hint";
  };
  wall.SetShowHint(false);
  EXPECT_FALSE(ask());
  wall.SetShowHint(true);
  EXPECT_TRUE(ask());
  QToolTip::hideText();
}

TEST(Wallpaper, SingleBorderStyleNarrowsTheClientArea) {
  RecordingWall wall;
  wall.resize(100, 100);
  wall.SetBorderStyle(TWallpaper::TBorderStyle::Single);
  EXPECT_EQ(wall.ClientRect(), QRect(1, 1, 98, 98));
  wall.SetWallpaper(Solid(128, 128, Qt::red));
  wall.Render();
  EXPECT_EQ(wall.tiles, Grid({2}, {2}, {128, 128}));
}

TEST_F(WallpaperOnScreen, AlignedPanelsFollowTheirParent) {
  QWidget form;
  form.resize(300, 200);
  auto* top = new TWallpaper(&form);  // aligned to the top from the start
  top->resize(10, 30);
  auto* bottom = new TWallpaper(&form);
  bottom->resize(10, 20);
  bottom->SetAlign(TAlign::Bottom);
  auto* left = new TWallpaper(&form);
  left->resize(40, 10);
  left->SetAlign(TAlign::Left);
  auto* right = new TWallpaper(&form);
  right->resize(50, 10);
  right->SetAlign(TAlign::Right);
  auto* client = new TWallpaper(&form);
  client->SetAlign(TAlign::Client);
  auto* loose = new TWallpaper(&form);
  loose->SetAlign(TAlign::None);
  loose->setGeometry(7, 8, 9, 10);
  form.show();

  form.resize(500, 400);
  EXPECT_EQ(top->geometry(), QRect(0, 0, 500, 30));
  EXPECT_EQ(bottom->geometry(), QRect(0, 380, 500, 20));
  EXPECT_EQ(left->geometry(), QRect(0, 30, 40, 350));
  EXPECT_EQ(right->geometry(), QRect(450, 30, 50, 350));
  EXPECT_EQ(client->geometry(), QRect(40, 30, 410, 350));
  EXPECT_EQ(loose->geometry(), QRect(7, 8, 9, 10));

  // A taller top panel pushes the others down; a hidden one makes room.
  top->resize(500, 60);
  EXPECT_EQ(client->geometry(), QRect(40, 60, 410, 320));
  bottom->hide();
  EXPECT_EQ(client->geometry(), QRect(40, 60, 410, 340));

  form.resize(60, 40);  // too small for all of them: nothing gets a negative size
  EXPECT_EQ(client->width(), 0);
  EXPECT_EQ(client->height(), 0);
}

TEST_F(WallpaperOnScreen, APanelOnAnAlignedPanelFollowsItToo) {
  QWidget form;
  form.resize(300, 200);
  auto* outer = new TWallpaper(&form);
  outer->SetAlign(TAlign::Client);
  auto* strip = new TWallpaper(outer);  // aligned to the top of the outer panel
  strip->resize(10, 25);
  auto* inner = new TWallpaper(outer);
  inner->SetAlign(TAlign::Client);
  form.show();
  form.resize(400, 300);
  EXPECT_EQ(outer->geometry(), QRect(0, 0, 400, 300));
  // Inside the outer panel's raised bevel.
  EXPECT_EQ(strip->geometry(), QRect(1, 1, 398, 25));
  EXPECT_EQ(inner->geometry(), QRect(1, 26, 398, 273));
}

TEST_F(WallpaperOnScreen, APanelInALayoutIsLeftToTheLayout) {
  QWidget form;
  auto* column = new QVBoxLayout(&form);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* heading = new QLabel("heading", &form);
  heading->setFixedHeight(50);
  auto* wall = new TWallpaper(&form);
  column->addWidget(heading);
  column->addWidget(wall, 1);
  form.resize(300, 200);
  form.show();
  column->activate();
  form.resize(320, 220);
  column->activate();
  EXPECT_EQ(wall->geometry(), QRect(0, 50, 320, 170));
}

// ---- the pictures ------------------------------------------------------------------------

TEST(Pictures, EveryPictureIsCompiledInAtItsSize) {
  const struct {
    const char* name;
    QSize size;
  } pictures[] = {
      {"tile128", {128, 128}}, {"tile150x34", {150, 34}}, {"tile96", {96, 96}},     {"open_data", {20, 20}},
      {"open_archive", {20, 20}}, {"save", {20, 20}},     {"preferences", {20, 20}}, {"glyph_ok", {32, 16}},
      {"glyph_cancel", {32, 16}}, {"glyph_yes", {32, 16}}, {"glyph_no", {32, 16}},   {"glyph_folder", {32, 16}},
      {"icon", {48, 48}},         {"icon256", {256, 256}}, {"product", {43, 43}},    {"logo", {37, 30}},
  };
  for (const auto& p : pictures) {
    const QPixmap picture = Picture(p.name);
    EXPECT_FALSE(picture.isNull()) << p.name;
    EXPECT_EQ(picture.size(), p.size) << p.name;
  }
  EXPECT_TRUE(Picture("no_such_picture").isNull());
}

// The tiles lie behind black captions: they stay mid-to-light and low in contrast.
TEST(Pictures, TilesAreLightAndQuiet) {
  for (const char* name : {"tile128", "tile150x34", "tile96"}) {
    const QImage tile = Picture(name).toImage();
    int darkest = 255, lightest = 0;
    for (int y = 0; y < tile.height(); ++y)
      for (int x = 0; x < tile.width(); ++x) {
        const int grey = qGray(tile.pixel(x, y));
        darkest = std::min(darkest, grey);
        lightest = std::max(lightest, grey);
      }
    EXPECT_GE(darkest, 150) << name;
    EXPECT_LE(lightest - darkest, 60) << name;
  }
}

TEST(Pictures, GlyphsHaveANormalAndADisabledFace) {
  for (const char* name : {"glyph_ok", "glyph_cancel", "glyph_yes", "glyph_no", "glyph_folder"}) {
    const QIcon icon = Glyph(name);
    ASSERT_FALSE(icon.isNull()) << name;
    const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_EQ(normal.size(), QSize(16, 16)) << name;
    EXPECT_NE(normal, disabled) << name;
    EXPECT_EQ(normal, Picture(name).copy(0, 0, 16, 16).toImage()) << name;
  }
  EXPECT_TRUE(Glyph("no_such_glyph").isNull());
}

TEST(Pictures, TheProgramIconComesInTwoSizes) {
  const QIcon icon = ProgramIcon();
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(48, 48)));
  EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

}  // namespace
