#include "panel/pacing.h"

#include <QThread>

namespace {
SleepHook& Hook() {
  static SleepHook hook;
  return hook;
}
}  // namespace

void SetSleepHook(SleepHook hook) { Hook() = std::move(hook); }

void Sleep(int milliseconds) {
  if (Hook()) {
    Hook()(milliseconds);
    return;
  }
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}
