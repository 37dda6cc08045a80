// On a screen scaled by 2 (this program runs with QT_SCALE_FACTOR=2, see CMakeLists.txt)
// the pictures are drawn at the screen's pixel density: the pictures drawn at twice the
// density are taken, and the windows show them pixel for pixel.

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>

#include "settings/chillerinfo.h"
#include "tests/support/guitest.h"
#include "ui/pictures.h"
#include "ui/wall.h"

namespace {

class ScaledByTwo : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_EQ(qGuiApp->devicePixelRatio(), 2.0) << "run with QT_SCALE_FACTOR=2";
  }
};

QImage Dense(const char* name) {
  return QImage(QStringLiteral(":/pictures/%1@2x.png").arg(QLatin1String(name))).convertToFormat(QImage::Format_RGB32);
}

TEST_F(ScaledByTwo, EveryPictureComesAtTwiceTheDensity) {
  const struct {
    const char* name;
    QSize size;  // on the screen
  } pictures[] = {{"tile128", {128, 128}},  {"tile150x34", {150, 34}}, {"tile96", {96, 96}},
                  {"open_data", {20, 20}},  {"open_archive", {20, 20}}, {"save", {20, 20}},
                  {"preferences", {20, 20}}, {"glyph_ok", {32, 16}},    {"glyph_cancel", {32, 16}},
                  {"glyph_yes", {32, 16}},   {"glyph_no", {32, 16}},    {"glyph_folder", {32, 16}},
                  {"product", {43, 43}},     {"logo", {37, 30}}};
  for (const auto& picture : pictures) {
    const QPixmap pixmap = Picture(picture.name);
    EXPECT_EQ(pixmap.devicePixelRatio(), 2.0) << picture.name;
    EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), picture.size) << picture.name;
    EXPECT_EQ(pixmap.size(), picture.size * 2) << picture.name;
  }
  // A glyph's two states keep their density.
  const QIcon ok = Glyph("glyph_ok");
  const QImage normal = ok.pixmap(QSize(16, 16), 2.0, QIcon::Normal).toImage();
  EXPECT_EQ(normal.size(), QSize(32, 32));
  EXPECT_EQ(normal.convertToFormat(QImage::Format_ARGB32),
            QImage(":/pictures/glyph_ok@2x.png").copy(0, 0, 32, 32).convertToFormat(QImage::Format_ARGB32));
}

// The tiles are laid at their size on the screen and drawn with every pixel of the dense
// picture.
TEST_F(ScaledByTwo, TheTiledPanelDrawsTheDensePicture) {
  TWallpaper wall;
  wall.SetWallpaper(Picture("tile128"));
  wall.resize(300, 200);
  const QImage shot = wall.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(600, 400));
  const QImage tile = Dense("tile128");
  const int inset = 2 * wall.Inset();  // in pixels
  for (const QPoint origin : {QPoint(inset, inset), QPoint(inset + 256, inset), QPoint(inset, inset + 256)}) {
    const QRect area = QRect(origin, QSize(256, 256)).intersected(QRect(inset, inset, 600 - 2 * inset, 400 - 2 * inset));
    EXPECT_EQ(shot.copy(area), tile.copy(QRect(QPoint(0, 0), area.size()))) << origin.x() << "," << origin.y();
  }
}

TEST_F(ScaledByTwo, TheAboutBoxPicturesKeepTheirSize) {
  TfrmAbout about;
  EXPECT_EQ(about.Image1->size(), QSize(43, 43));
  EXPECT_EQ(about.Image2->size(), QSize(37, 30));
  EXPECT_EQ(about.Image1->pixmap().devicePixelRatio(), 2.0);
  about.show();
  const QImage shot = about.Image1->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(shot.size(), QSize(86, 86));
  // Where the picture is opaque, the box shows its pixels as they are.
  const QImage product = QImage(":/pictures/product@2x.png").convertToFormat(QImage::Format_ARGB32);
  int opaque = 0;
  for (int y = 0; y < 86; ++y)
    for (int x = 0; x < 86; ++x)
      if (qAlpha(product.pixel(x, y)) == 255) {
        ++opaque;
        EXPECT_EQ(shot.pixel(x, y), product.pixel(x, y)) << x << "," << y;
      }
  EXPECT_GT(opaque, 1000);
}

}  // namespace
