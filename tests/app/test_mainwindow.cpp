#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/mainwindow.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/wall.h"

namespace {

class MainWindow : public GuiTest {
 protected:
  UnitDataRecord record{};
  TfrmMain window{record};

  QList<TCustomEdit*> Edits() const { return window.wpBackground->findChildren<TCustomEdit*>(); }
};

TEST_F(MainWindow, HasItsFixedSizeAndCaption) {
  EXPECT_EQ(window.windowTitle(), "Quell Panel Sales Order Entry");
  EXPECT_EQ(window.minimumSize(), QSize(643, 520));
  EXPECT_EQ(window.maximumSize(), QSize(643, 520));
  window.resize(800, 700);
  EXPECT_EQ(window.size(), QSize(643, 520));
}

TEST_F(MainWindow, HasFortyOneEditsOnTheBody) {
  EXPECT_EQ(Edits().size(), 41);
  int masked = 0;
  for (TCustomEdit* edit : Edits()) masked += qobject_cast<TMaskEdit*>(edit) != nullptr;
  EXPECT_EQ(masked, 2);
  EXPECT_TRUE(qobject_cast<TMaskEdit*>(window.eCommissionDate));
  EXPECT_TRUE(qobject_cast<TMaskEdit*>(window.eChillerSerialNumber));
  for (int slot = 1; slot <= 41; ++slot) {
    TCustomEdit* edit = window.SlotEdit(slot);
    ASSERT_NE(edit, nullptr) << slot;
    EXPECT_EQ(edit->objectName(), QString("e") + MemberInfo(*SlotMember(slot)).name) << slot;
  }
}

TEST_F(MainWindow, OnlyDateAndSerialNumbersAreEditableAtStart) {
  for (TCustomEdit* edit : Edits()) {
    const bool editable = edit == window.eCommissionDate || edit == window.ePanelSerialNumber ||
                          edit == window.eChillerSerialNumber;
    EXPECT_EQ(edit->ReadOnly(), !editable) << edit->objectName().toStdString();
  }
}

// A screen reader announces each field by its caption; the design-load fields name their
// column first.
TEST_F(MainWindow, EveryFieldCarriesItsCaptionAsItsAccessibleName) {
  const std::pair<TCustomEdit*, const char*> names[] = {
      {window.eCommissionDate, "Commissioning Date"},
      {window.eJobName, "Job Name"},
      {window.eJobLocation, "Job Location"},
      {window.eModelNumber, "Model Number"},
      {window.eVarnOrderNumber, "Varn Order Number"},
      {window.ePanelSerialNumber, "Panel Serial Number"},
      {window.eChillerSerialNumber, "Chiller Serial Number"},
      {window.eMotorCode, "Motor Code"},
      {window.ePower, "Power (Volts)"},
      {window.ePhases, "Phases"},
      {window.eFrequency, "Frequency (Hz)"},
      {window.eLockedRotorAmps, "Locked Rotor Amps"},
      {window.eFullLoadAmps, "Full Load Amps"},
      {window.eInrushAmps, "Inrush Amps"},
      {window.eEvPasses, "Evaporator Passes"},
      {window.eEvDesignWorkingPressure, "Evaporator Design Working Pressure"},
      {window.eEvFoulingFactor, "Evaporator Fouling Factor"},
      {window.eEvPressureDrop, "Evaporator Pressure Drop"},
      {window.eEvNozzleIn, "Evaporator Nozzle Arrangement (In)"},
      {window.eEvNozzleOut, "Evaporator Nozzle Arrangement (Out)"},
      {window.eEvLeavingTemp, "Evaporator Leaving Temperature"},
      {window.eEvReturnTemp, "Evaporator Return Temperature"},
      {window.eEvGpm, "Evaporator GPM"},
      {window.eEvTubeNo, "Evaporator Tube Number"},
      {window.eCdPasses, "Condenser Passes"},
      {window.eCdDesignWorkingPressure, "Condenser Design Working Pressure"},
      {window.eCdFoulingFactor, "Condenser Fouling Factor"},
      {window.eCdPressureDrop, "Condenser Pressure Drop"},
      {window.eCdNozzleIn, "Condenser Nozzle Arrangement (In)"},
      {window.eCdNozzleOut, "Condenser Nozzle Arrangement (Out)"},
      {window.eCdLeavingTemp, "Condenser Leaving Temperature"},
      {window.eCdReturnTemp, "Condenser Return Temperature"},
      {window.eCdGpm, "Condenser GPM"},
      {window.eCdTubeNo, "Condenser Tube Number"},
      {window.eRefrigerant, "Refrigerant"},
      {window.eTons, "Tons"},
      {window.eGearCode, "Gear Code"},
      {window.eEvapLiquidType, "Liquid Type"},
      {window.eBrinePercent, "Brine Percent"},
      {window.eMotorType, "VSD/SSS/EM"},
      {window.eKilowattsInput, "Kilowatts Input"},
  };
  ASSERT_EQ(std::size(names), 41u);
  for (const auto& [edit, name] : names) EXPECT_EQ(edit->accessibleName(), name) << edit->objectName().toStdString();
}

// Record texts are bytes of Windows code page 1252: each shows as its character, the euro
// sign and the dashes included, and goes back into the record as the same byte.
TEST_F(MainWindow, EveryByteShowsAsItsCharacterAndComesBackUnchanged) {
  const std::pair<std::string, QString> shown[] = {
      {"A\x80\x96" "B", QStringLiteral("A\u20AC\u2013B")},
      {"\x93q\x94 \x85", QStringLiteral("\u201Cq\u201D \u2026")},
      {"\x81\x8D\x8F\x90\x9D", QStringLiteral("\u0081\u008D\u008F\u0090\u009D")},
      {"\xE9\xFF", QStringLiteral("\u00E9\u00FF")},
  };
  for (const auto& [bytes, text] : shown) {
    record.SetJobName(bytes);
    window.ShowRecord();
    EXPECT_EQ(window.eJobName->Text(), text);
  }
  // All 255 bytes but NUL, 29 to a member, through every field that keeps them.
  std::string all;
  for (int b = 1; b <= 255; ++b) all += static_cast<char>(b);
  for (std::size_t start = 0; start < all.size(); start += 29) {
    const std::string chunk = all.substr(start, 29);
    for (int slot = 2; slot <= 41; ++slot) record.SetSlot(slot, chunk);
    window.ShowRecord();
    UnitDataRecord before = record;
    record.ClearRecord();
    window.CollectRecord();
    for (int slot = 2; slot <= 41; ++slot) EXPECT_STREQ(record.SlotText(slot), before.SlotText(slot)) << slot;
  }
}

TEST_F(MainWindow, DateStartsAsElevenBlanks) {
  EXPECT_EQ(window.eCommissionDate->Text(), QString(11, ' '));
  EXPECT_EQ(window.eCommissionDate->displayText(), "-- --- ----");
}

TEST_F(MainWindow, CollectThenShowCutsEveryTextToItsMember) {
  for (int slot = 2; slot <= 41; ++slot) window.SlotEdit(slot)->SetText(QString(80, QChar('a' + slot % 26)));
  window.eCommissionDate->SetText("07 DEC 1999");
  window.CollectRecord();
  window.ShowRecord();
  for (int slot = 2; slot <= 41; ++slot) {
    const std::size_t capacity = MemberInfo(*SlotMember(slot)).capacity;
    EXPECT_EQ(window.SlotEdit(slot)->Text(), QString(static_cast<qsizetype>(capacity), QChar('a' + slot % 26)))
        << slot;
  }
  EXPECT_EQ(window.eCommissionDate->Text(), "07 DEC 1999");
  EXPECT_EQ(record.PackedCommissionDate(), 99u | 12u << 8 | 7u << 16);
  EXPECT_STREQ(record.SpecialCode(), "0");
}

TEST_F(MainWindow, CollectTakesTheBlankDateAsElevenBlanks) {
  window.CollectRecord();
  EXPECT_STREQ(record.CommissionDate(), "           ");
}

TEST_F(MainWindow, ShowRecordShowsTextsLongerThanTheLimitWhole) {
  window.ApplyDefaultLimits();
  record.SetJobName(std::string(29, 'J'));
  window.eJobName->SetMaxLength(4);
  window.ShowRecord();
  EXPECT_EQ(window.eJobName->Text(), QString(29, 'J'));
}

TEST_F(MainWindow, DefaultLimits) {
  window.ApplyDefaultLimits();
  EXPECT_EQ(window.eCommissionDate->MaxLength(), 11);
  EXPECT_EQ(window.eModelNumber->MaxLength(), 256);
  EXPECT_EQ(window.eJobName->MaxLength(), 32);
  EXPECT_EQ(window.eJobLocation->MaxLength(), 32);
  for (TCustomEdit* edit : {static_cast<TCustomEdit*>(window.ePanelSerialNumber),
                            static_cast<TCustomEdit*>(window.eChillerSerialNumber),
                            static_cast<TCustomEdit*>(window.eVarnOrderNumber),
                            static_cast<TCustomEdit*>(window.eTons), static_cast<TCustomEdit*>(window.eEvTubeNo)})
    EXPECT_EQ(edit->MaxLength(), 16) << edit->objectName().toStdString();
}

TEST_F(MainWindow, TabOrderRunsOrderEvaporatorCondenserNameplateSystem) {
  QStringList order;
  QWidget* w = window.eCommissionDate;
  do {
    if (qobject_cast<TCustomEdit*>(w)) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != window.eCommissionDate && order.size() < 41);
  EXPECT_EQ(order, QStringList({"eCommissionDate", "eJobName", "eJobLocation", "eModelNumber", "eVarnOrderNumber",
                                "ePanelSerialNumber", "eChillerSerialNumber", "eEvPasses",
                                "eEvDesignWorkingPressure", "eEvFoulingFactor", "eEvPressureDrop", "eEvNozzleIn",
                                "eEvNozzleOut", "eEvLeavingTemp", "eEvReturnTemp", "eEvGpm", "eEvTubeNo",
                                "eCdPasses", "eCdDesignWorkingPressure", "eCdFoulingFactor", "eCdPressureDrop",
                                "eCdNozzleIn", "eCdNozzleOut", "eCdLeavingTemp", "eCdReturnTemp", "eCdGpm",
                                "eCdTubeNo", "eMotorCode", "ePower", "ePhases", "eFrequency", "eLockedRotorAmps",
                                "eFullLoadAmps", "eInrushAmps", "eRefrigerant", "eTons", "eGearCode",
                                "eEvapLiquidType", "eBrinePercent", "eMotorType", "eKilowattsInput"}));
}

// The hints name the keys of their commands; a screen reader announces the caption, or the
// hint of a picture button.
TEST_F(MainWindow, ToolbarButtonsHaveHintsAndHandCursor) {
  struct Button {
    QToolButton* button;
    const char* hint;
    const char* accessibleName;
  };
  const Button buttons[] = {
      {window.cmdOpenDataFile, "Open Data File (Ctrl+O)", "Open Data File"},
      {window.cmdOpenEncryptedFile, "Open Encrypted Data File", "Open Encrypted Data File"},
      {window.cmdSaveDataFile, "Save Data File (Ctrl+S)", "Save Data File"},
      {window.cmdPreferences, "Preferences", "Preferences"},
      {window.cmdSalesOrder, "Enter Sales Order Number (Ctrl+L)", "Enter Sales Order #"},
      {window.cmdRx, "Request Data from Panel (Ctrl+R)", "Get Data"},
      {window.cmdTx, "Transmit Data to Panel (Ctrl+T)", "Send Data"}};
  for (const auto& [button, hint, accessibleName] : buttons) {
    EXPECT_EQ(button->toolTip(), hint);
    EXPECT_EQ(button->accessibleName(), accessibleName);
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(button->autoRaise());
  }
  EXPECT_EQ(window.cmdSalesOrder->text(), "Enter Sales Order #");
  EXPECT_EQ(window.cmdRx->text(), "Get Data");
  EXPECT_EQ(window.cmdTx->text(), "Send Data");
}

TEST_F(MainWindow, MenuHasItsItemsAndShortcuts) {
  QStringList captions;
  for (QAction* menu : window.menuBar()->actions()) {
    captions << menu->text();
    for (QAction* item : menu->menu()->actions()) captions << (item->isSeparator() ? "-" : item->text());
  }
  EXPECT_EQ(captions, QStringList({"&File", "&Open Data File...", "Open &Encrypted Data File...", "-",
                                   "&Save Data File", "Save Data File &As...", "&Close", "-", "Export &Report...",
                                   "-", "&Preferences...", "-", "E&xit", "&Tools", "&Transmit Data",
                                   "&Request Data", "-", "Clear Screen", "Edit Data", "-", "Panel &History...", "-",
                                   "Check Panel Before and After Sending",
                                   "&Help", "Release &Notes", "-", "&About"}));
  const std::pair<QAction*, const char*> shortcuts[] = {
      {window.mnuOpenDataFile, "Ctrl+O"}, {window.mnuOpenEncryptedDataFile, ""}, {window.mnuSaveDataFile, "Ctrl+S"},
      {window.mnuSaveDataFileAs, "Ctrl+Shift+S"}, {window.mnuClose, ""}, {window.mnuPreferences, ""},
      {window.mnuExit, "Ctrl+Q"}, {window.mnuTransmitData, "Ctrl+T"}, {window.mnuRequestData, "Ctrl+R"},
      {window.mnuClearScreen, ""}, {window.mnuEditData, "Ctrl+E"}, {window.mnuReleaseNotes, ""},
      {window.mnuAbout, ""}, {window.actSalesOrder, "Ctrl+L"}};
  for (const auto& [action, keys] : shortcuts)
    EXPECT_EQ(action->shortcut(), QKeySequence(keys)) << action->objectName().toStdString();
  EXPECT_TRUE(window.actions().contains(window.actSalesOrder));
  EXPECT_TRUE(window.mnuEditData->isCheckable());
  EXPECT_FALSE(window.mnuEditData->isChecked());
}

TEST_F(MainWindow, TimerAndFileDialogs) {
  EXPECT_FALSE(window.tmrComm->isActive());
  EXPECT_EQ(window.tmrComm->interval(), 1000);
  EXPECT_EQ(window.OpenDlg.Title(), "Open Data File");
  EXPECT_EQ(window.OpenDlg.QtFilter(), "Data Files (*.dat *.DAT);;All Files (*)");
  EXPECT_EQ(window.SaveDlg.Title(), "Save Data File");
  EXPECT_EQ(window.SaveDlg.kind(), TFileDialog::Kind::Save);
  EXPECT_EQ(window.SaveDlg.DefaultExt(), "dat");
  EXPECT_EQ(window.OpenEncryptedDlg.Title(), "Open Encrypted Data File");
  EXPECT_EQ(window.OpenEncryptedDlg.Filter(), "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*");
  EXPECT_EQ(window.OpenEncryptedDlg.DefaultExt(), "upz");
}

TEST_F(MainWindow, UpdateTitleShowsTheFileNameOnly) {
  window.UpdateTitle(false);
  EXPECT_EQ(window.windowTitle(), "Quell Panel Sales Order Entry");
}

TEST_F(MainWindow, AnExceptionFromAHandlerIsShownAndTheWindowStaysUp) {
  QAction* thrower = new QAction(&window);
  QObject::connect(thrower, &QAction::triggered, &window, [] {
    Guarded([] { throw std::runtime_error("Port not open (Error: -1)"); });
  });
  thrower->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Port not open (Error: -1)");
}

}  // namespace
