// quellso-screenshots: shows every window of the program in turn, on the display it is
// given (scripts/screenshots starts a virtual one), and saves a picture of each to a folder:
// the main window empty and filled, each dialog, and the message boxes of a failed open and
// of a time-out.  The windows are the program's own, driven through their handlers; only
// the file dialogs are answered in advance.  The platform is chosen as the program chooses
// it (on a Wayland session, XWayland).
//
//   quellso-screenshots FOLDER
//
// With QUELLSO_SCREENSHOOTER set, each picture is of the whole screen, taken by that command
// (run in an empty folder, where it leaves one PNG file): on Wayland, where a program cannot
// picture the screen, the compositor's own (weston-screenshooter, see scripts/wayland).

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/commandline.h"
#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/panelhistory.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "files/transferhistory.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "ui/filedialog.h"

namespace {

QString g_folder;
int g_saved = 0;

// The smallest rectangle around every visible window, with a small margin.
QRect VisibleArea() {
  QRect area;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) area = area.united(w->frameGeometry());
  return area.adjusted(-8, -8, 8, 8).intersected(QGuiApplication::primaryScreen()->geometry());
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The whole screen as the external command pictures it, saved at `path`.
bool SaveWithShooter(const QString& shooter, const QString& path) {
  QTemporaryDir work;
  QProcess process;
  process.setWorkingDirectory(work.path());
  process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), shooter});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return false;
  const QStringList shots = QDir(work.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
  QFile::remove(path);
  return shots.size() == 1 && QFile::rename(work.filePath(shots.front()), path);
}

void Save(const QString& name) {
  QApplication::processEvents();
  const QString path = g_folder + "/" + name + ".png";
  const QString shooter = qEnvironmentVariable("QUELLSO_SCREENSHOOTER");
  bool saved = false;
  if (!shooter.isEmpty()) {
    Wait(800);  // the compositor (and its X window manager) shows what the program drew
    saved = SaveWithShooter(shooter, path);
  } else {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = VisibleArea();
    saved = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
  }
  if (saved) {
    std::printf("%s\n", qPrintable(path));
    ++g_saved;
  } else {
    std::fprintf(stderr, "quellso-screenshots: could not save %s\n", qPrintable(path));
  }
}

// Runs `action`, which shows a modal window (a dialog or a message box); `count` modal
// windows in a row are pictured as name, name-2, ... and then closed, so that `action` returns.
void WithModal(const QString& name, const std::function<void()>& action, int count = 1) {
  auto remaining = std::make_shared<int>(count);
  auto index = std::make_shared<int>(0);
  auto* timer = new QTimer;
  timer->setInterval(400);
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || *remaining == 0) return;
    ++*index;
    Save(*index == 1 ? name : QString("%1-%2").arg(name).arg(*index));
    --*remaining;
    modal->close();
  });
  timer->start();
  action();
  timer->stop();
  timer->deleteLater();
}

void FillRecord() {
  const char* values[42] = {nullptr,      "07 DEC 2026", "Riverside Hospital", "North Plant Room",
                            "YKABCDEF123R", "SO-98123456", "PNL-004417", "CHL-77801",
                            "R-134a", "500", "G7", "Water", "0", "VSD", "310", "M42", "460", "3", "60",
                            "1850", "410", "620", "2", "150", "0.00025", "12.4", "1", "2", "95.0", "85.0",
                            "1500", "412", "2", "150", "0.0001", "14.1", "3", "4", "44.0", "54.0", "1200",
                            "388"};
  for (int slot = 1; slot <= 41; ++slot) UnitRecord.SetSlot(slot, values[slot]);
}

// A history of a few transfers: the newest a Send Data that changed three values and read
// one back differently.
void FillHistory() {
  const TransferHistory history;
  const char* const jobs[] = {"Riverside Hospital", "Harbour Tower", "Riverside Hospital", "Mill Street Offices"};
  for (int n = 0; n < 6; ++n) {
    const bool send = n % 2 == 1;
    TransferRecorder recorder(history, send ? transfer::kSend : transfer::kGet,
                              n == 3 ? transfer::kFromTool : transfer::kFromWindow, {"COM1", "/dev/ttyUSB0"},
                              "english");
    FillRecord();
    UnitRecord.SetJobName(jobs[n % 4]);
    UnitRecord.SetPanelSerialNumber(n % 4 == 1 ? "PNL-003120" : n % 4 == 3 ? "PNL-005532" : "PNL-004417");
    UnitRecord.SetChillerSerialNumber(n % 4 == 1 ? "CHL-70112" : n % 4 == 3 ? "CHL-79020" : "CHL-77801");
    TransferEntry& entry = recorder.Entry();
    if (!send) {
      entry.values = SlotValues::FromRecord(UnitRecord);
      recorder.Finish(transfer::kOk);
      continue;
    }
    entry.found = SlotValues::FromRecord(UnitRecord);
    entry.found.Set(9, "450");
    entry.found.Set(14, "295");
    entry.found.Set(3, "Plant Room B");
    entry.written = SlotValues::FromRecord(UnitRecord);
    entry.readBack = entry.written;
    const bool last = n == 5;
    if (last) {
      entry.readBack.Set(12, "5");
      entry.differs = {12};
    }
    recorder.Finish(last ? transfer::kDiffers : transfer::kOk);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quellso-screenshots FOLDER\n");
    return 2;
  }
  QTemporaryDir scratch;
  setenv("QUELLSO_SETTINGS", qPrintable(scratch.path() + "/settings.ini"), 1);
  for (int n = 1; n <= 4; ++n) setenv(qPrintable(QString("QUELLSO_COM%1").arg(n)), "/nonexistent/screenshot-port", 1);
  setenv("XDG_STATE_HOME", qPrintable(scratch.path() + "/state"), 1);

  const std::string platform =
      PlatformForSession(TCommandLine{}, [](const char* name) -> const char* { return std::getenv(name); });
  if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  TApplication app(argc, argv);
  g_folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(g_folder);

  CreateWindows();
  // The first show reports the port that cannot be opened.
  WithModal("com-port-error", [] {
    frmMain->show();
    Wait(300);
  });
  Wait(300);
  Save("main-empty");

  FillRecord();
  frmMain->ShowRecord();
  Save("main-filled");

  WithModal("preferences", [] { frmPreferences->exec(); });
  WithModal("about", [] { frmAbout->exec(); });
  WithModal("sales-order-entry", [] { frmSalesOrderEntry->exec(); });
  // The choice list as a sales order number whose exact archive is missing leaves it.
  {
    const QString folder = scratch.path() + "/orders";
    QDir().mkpath(folder);
    for (const char* name : {"52n9c1jl.upz", "52n9c1jn.upz", "52n9c2bf.upz", "6lflr4e1.upz"}) {
      QFile file(folder + "/" + name);
      file.open(QIODevice::WriteOnly);
    }
    frmUpzChoices->flbUpzChoices->Fill(folder, "52n9c*.upz");
    frmUpzChoices->flbUpzChoices->SetItemIndex(0);
    WithModal("upz-choices", [] { frmUpzChoices->exec(); });
    QDir::setCurrent(QDir::homePath());
  }
  WithModal("default-length-warning", [] { frmDefaultLengthWarning->exec(); });
  // Tools > Panel History, with the newest transfer selected.
  FillHistory();
  FillRecord();
  frmMain->ShowRecord();
  WithModal("panel-history", [] { frmMain->mnuPanelHistoryClick(); });

  // A data file that cannot be read (a folder), and an archive that is not there.
  TFileDialog::SetHook([&](const TFileDialog&) -> std::optional<QString> { return scratch.path(); });
  WithModal("failed-open-data-file", [] { frmMain->mnuOpenDataFileClck(); });
  TFileDialog::SetHook({});
  WithModal("failed-open-archive", [] { frmMain->OpenUpzFile("/nonexistent/52n9c1jl.upz"); });
  // An archive beyond the limits: a header and 10001 empty directory entries.
  {
    const QString crowd = scratch.path() + "/crowd.upz";
    QByteArray bytes(210 + 21 * 10001, '\0');
    bytes.replace(0, 3, "upl");
    bytes[4] = 2;
    const int count = 10001;
    for (int i = 0; i < 4; ++i) bytes[206 + i] = static_cast<char>(count >> (8 * i) & 0xFF);
    QFile file(crowd);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    WithModal("refused-archive", [crowd] { frmMain->OpenUpzFile(crowd); });
  }

  // Send Data with no panel: the warning and the confirmation (answered No by closing it).
  WithModal("send-data", [] { frmMain->cmdTxClick(); }, 2);
  // Get Data with no panel: the time-out one second after the last request.
  WithModal("timeout", [] {
    frmMain->cmdRxClick();
    Wait(2500);
  });

  DestroyWindows();
  return g_saved > 0 ? 0 : 1;
}
