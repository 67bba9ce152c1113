#include "ui/window_place.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "config/profile_file.h"
#include "core/system.h"

namespace kestrane {
namespace {
constexpr int kGap = 8;
constexpr int kTitleBar = 24;  // what must stay on screen to drag the window back
constexpr std::size_t kLargestWindowFile = 64 * 1024;
// The key as QSettings wrote it in earlier versions, so that their files still count.
constexpr const char* kSection = "window";
constexpr const char* kKey = "position";

// "@Point(X Y)", nothing else.
std::optional<QPoint> ParsePoint(std::string_view text) {
  constexpr std::string_view kOpen = "@Point(";
  if (!text.starts_with(kOpen) || !text.ends_with(')')) return std::nullopt;
  text = text.substr(kOpen.size(), text.size() - kOpen.size() - 1);
  int xy[2];
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 2; ++i) {
    if (i == 1 && (at == end || *at++ != ' ')) return std::nullopt;
    const auto [next, error] = std::from_chars(at, end, xy[i]);
    if (error != std::errc()) return std::nullopt;
    at = next;
  }
  if (at != end) return std::nullopt;
  return QPoint(xy[0], xy[1]);
}
}  // namespace

SideBySide PlaceBeside(const QRect& main, const QSize& dialog, const QRect& screen) {
  SideBySide out;
  int x;
  const int room_right = screen.right() - main.right();
  const int room_left = main.left() - screen.left();
  if (room_right >= kGap + dialog.width()) {
    x = main.right() + 1 + kGap;
  } else if (room_left >= kGap + dialog.width()) {
    x = main.left() - kGap - dialog.width();
  } else {
    // Flush with an edge, less a gap: a frame the window manager draws otherwise than estimated
    // must not push the dialog off the screen.
    const bool both_fit = main.width() + dialog.width() + 3 * kGap <= screen.width();
    if (room_right >= room_left) {
      x = screen.right() + 1 - kGap - dialog.width();
      if (both_fit) out.window = QPoint(x - kGap - main.width(), main.top());
    } else {
      x = screen.left() + kGap;
      if (both_fit) out.window = QPoint(x + dialog.width() + kGap, main.top());
    }
  }
  x = std::max(x, screen.left());
  int y = std::min(main.top(), screen.bottom() + 1 - dialog.height());
  y = std::max(y, screen.top());
  out.dialog = {x, y};
  return out;
}

std::optional<QPoint> UsablePosition(const QPoint& saved, const QSize& frame,
                                     const QList<QRect>& screens) {
  const QRect title(saved, QSize(frame.width(), kTitleBar));
  for (const QRect& screen : screens) {
    const QRect seen = screen.intersected(title);
    if (seen.width() * 2 >= title.width() && seen.height() == title.height()) return saved;
  }
  return std::nullopt;
}

std::string WindowStatePath(const std::string& settings_path) {
  const std::filesystem::path settings = PathFromText(settings_path);
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(settings, ec);
  if (ec) full = settings;
  return TextFromPath(full.parent_path() / "Kestrane-window.ini");
}

std::optional<QPoint> ReadWindowPosition(const std::string& path) {
  const FileContent read = ReadRegularFile(path, kLargestWindowFile);
  if (read.outcome != ReadOutcome::Ok) return std::nullopt;
  const std::optional<std::string> value = ProfileFile(read.bytes).Read(kSection, kKey);
  return value ? ParsePoint(*value) : std::nullopt;
}

bool WriteWindowPosition(const std::string& path, const QPoint& position) {
  const FileContent read = ReadRegularFile(path, kLargestWindowFile);
  ProfileFile file;
  if (read.outcome == ReadOutcome::Ok) {
    file = ProfileFile(read.bytes);
  } else if (read.outcome != ReadOutcome::Missing && read.outcome != ReadOutcome::TooLarge) {
    return false;  // not a regular file, or unreadable: not ours to replace
  }
  file.Write(kSection, kKey,
             "@Point(" + std::to_string(position.x()) + " " + std::to_string(position.y()) + ")");
  RemoveStaleTemporaryFiles(path);
  return ReplaceWholeFile(path, file.Text()).empty();
}

}  // namespace kestrane
