#include "ui/key_capture_qt.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace kestrane {

static_assert(qt_key::kEscape == Qt::Key_Escape && qt_key::kTab == Qt::Key_Tab &&
              qt_key::kBacktab == Qt::Key_Backtab && qt_key::kBackspace == Qt::Key_Backspace &&
              qt_key::kReturn == Qt::Key_Return && qt_key::kEnter == Qt::Key_Enter &&
              qt_key::kInsert == Qt::Key_Insert && qt_key::kDelete == Qt::Key_Delete &&
              qt_key::kPause == Qt::Key_Pause && qt_key::kPrint == Qt::Key_Print &&
              qt_key::kSysReq == Qt::Key_SysReq && qt_key::kClear == Qt::Key_Clear);
static_assert(qt_key::kHome == Qt::Key_Home && qt_key::kEnd == Qt::Key_End &&
              qt_key::kLeft == Qt::Key_Left && qt_key::kUp == Qt::Key_Up &&
              qt_key::kRight == Qt::Key_Right && qt_key::kDown == Qt::Key_Down &&
              qt_key::kPageUp == Qt::Key_PageUp && qt_key::kPageDown == Qt::Key_PageDown);
static_assert(qt_key::kShift == Qt::Key_Shift && qt_key::kControl == Qt::Key_Control &&
              qt_key::kMeta == Qt::Key_Meta && qt_key::kAlt == Qt::Key_Alt &&
              qt_key::kCapsLock == Qt::Key_CapsLock && qt_key::kNumLock == Qt::Key_NumLock &&
              qt_key::kScrollLock == Qt::Key_ScrollLock && qt_key::kAltGr == Qt::Key_AltGr);
static_assert(qt_key::kF1 == Qt::Key_F1 && qt_key::kF24 == Qt::Key_F24 &&
              qt_key::kF24 - qt_key::kF1 == 23);
static_assert(qt_key::kSuperL == Qt::Key_Super_L && qt_key::kSuperR == Qt::Key_Super_R &&
              qt_key::kMenu == Qt::Key_Menu && qt_key::kVolumeDown == Qt::Key_VolumeDown &&
              qt_key::kVolumeMute == Qt::Key_VolumeMute && qt_key::kVolumeUp == Qt::Key_VolumeUp &&
              qt_key::kMediaPlay == Qt::Key_MediaPlay && qt_key::kMediaStop == Qt::Key_MediaStop &&
              qt_key::kMediaPrevious == Qt::Key_MediaPrevious &&
              qt_key::kMediaNext == Qt::Key_MediaNext &&
              qt_key::kMediaTogglePlayPause == Qt::Key_MediaTogglePlayPause);
static_assert(Qt::Key_A == 'A' && Qt::Key_0 == '0' && Qt::Key_Exclam == '!' &&
              Qt::Key_Space == ' ' && Qt::Key_AsciiTilde == '~');

NativeKeyCodes NativeKeyCodesOfPlatform() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"))) {
    return NativeKeyCodes::Xkb;
  }
  if (platform == QLatin1String("windows")) return NativeKeyCodes::Windows;
  return NativeKeyCodes::None;
}

std::optional<KeyCode> CaptureKeyEvent(const QKeyEvent& event, NativeKeyCodes native) {
  KeyPress press;
  press.qt_key = event.key();
  press.keypad = event.modifiers().testFlag(Qt::KeypadModifier);
  press.native_scan = event.nativeScanCode();
  press.native_vk = event.nativeVirtualKey();
  press.native = native;
  return CaptureKey(press);
}

}  // namespace kestrane
