#pragma once

// The application object.  It is the last line of defence for exceptions: one that escapes
// an event handler is shown in the exception box and the program carries on.

#include <QApplication>

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Start-up: titles the application, hands the settings file's port map to the serial port,
// creates the main window and the five dialogs hidden and in their order, shows the main
// window.  The caller then runs the message loop.
void CreateWindows();
// Shows the main window (centred on the screen at its first show, which opens the serial
// port); then, once the message loop runs, opens `file` as a file named on the command line
// (TfrmMain::OpenFileArgument), unless it is empty.
void ShowMainWindow(const QString& file);
// Deletes the windows CreateWindows() made, dialogs first.
void DestroyWindows();
