#pragma once

// Enter and Escape in the program's dialogs.  Their buttons are flat buttons, which the
// toolkit's default-button handling does not reach, so each dialog names its answers here:
// Enter clicks the button that has the focus, or the accepting button (Ok, Yes) when the
// focus is elsewhere; Escape clicks the cancelling button, or closes the dialog as its close
// box does when it has none.  A click runs the button's own handler, as the mouse does.
// Keys that the focused control uses itself (an edit's own Enter handling) stay with it.

class QDialog;
class QToolButton;

void AnswerEnterAndEscape(QDialog* dialog, QToolButton* accept, QToolButton* cancel = nullptr);
