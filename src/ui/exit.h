#pragma once

namespace tavirin {

class Dialogs;
class InstanceLock;
class PanelAnimator;
class SoundLibrary;
class TrayWindow;

// False, after telling the operator, when another copy of the program already runs.
bool checkSingleInstance(InstanceLock& lock, Dialogs& dialogs);

// The message for a machine that has neither a sound library nor the default one.
void showMissingSoundLibrary(Dialogs& dialogs, const SoundLibrary& library);

// The exit button: asks, then hides the window, ends the program when the hide has finished
// and removes the tray icon at once. Nothing is written; the relay and outside players are
// left as they are.
void confirmExit(Dialogs& dialogs, PanelAnimator& animator, TrayWindow& tray);

}  // namespace tavirin
