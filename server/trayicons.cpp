#include "server/trayicons.h"

#include "base/handles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <numbers>
#include <vector>

namespace qm {

ShellNotifyIconFunction TrayNotifyIcon = &Shell_NotifyIconA;

namespace {

constexpr int N = kTrayIconSize;
constexpr uint32_t kWhite = 0xFFFFFF;  // the background, and so the transparent colour

constexpr uint32_t Rgb(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}
constexpr uint32_t kOrange = Rgb(255, 145, 0);
constexpr uint32_t kDarkOrange = Rgb(190, 95, 0);
constexpr uint32_t kBlack = Rgb(0, 0, 0);
constexpr uint32_t kRed = Rgb(220, 0, 0);
constexpr uint32_t kOrangeRed = Rgb(255, 69, 0);
constexpr uint32_t kGrey = Rgb(160, 160, 160);
constexpr uint32_t kDarkGrey = Rgb(80, 80, 80);
constexpr uint32_t kScreenBlue = Rgb(0, 90, 200);
constexpr uint32_t kNavy = Rgb(0, 0, 128);
constexpr uint32_t kSilver = Rgb(200, 200, 200);

struct Point {
  double x, y;
};

using Shape = std::function<bool(double x, double y)>;

// A 16 x 16 picture in 0xRRGGBB, drawn with hard edges: a mask of one bit per pixel cannot
// show the half-tones of smoothed edges, so a pixel takes a shape's colour when at least half
// of it lies inside the shape.
class Canvas {
 public:
  Canvas() { std::fill(&px_[0][0], &px_[0][0] + N * N, kWhite); }

  void Fill(const Shape& inside, uint32_t colour) {
    constexpr int kSub = 4;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        int hits = 0;
        for (int sy = 0; sy < kSub; ++sy)
          for (int sx = 0; sx < kSub; ++sx)
            if (inside(x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub)) ++hits;
        if (hits * 2 >= kSub * kSub) px_[y][x] = colour;
      }
  }

  uint32_t At(int x, int y) const { return px_[y][x]; }

 private:
  uint32_t px_[N][N];
};

Shape Disc(Point c, double r) {
  return [=](double x, double y) { return std::hypot(x - c.x, y - c.y) <= r; };
}

Shape Box(double left, double top, double right, double bottom) {
  return [=](double x, double y) { return x >= left && x <= right && y >= top && y <= bottom; };
}

// A segment drawn with a round pen of the given width.
Shape Stroke(Point a, Point b, double width) {
  return [=](double x, double y) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy)) <= width / 2;
  };
}

// Corners in either turning direction.
Shape ConvexPolygon(std::initializer_list<Point> corners) {
  std::vector<Point> p(corners);
  return [p](double x, double y) {
    bool anyLeft = false, anyRight = false;
    for (size_t i = 0; i < p.size(); ++i) {
      const Point a = p[i], b = p[(i + 1) % p.size()];
      const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
      if (cross < 0) anyLeft = true;
      if (cross > 0) anyRight = true;
    }
    return !(anyLeft && anyRight);
  };
}

// A ring segment between two angles (degrees, counter-clockwise from east as seen on screen).
Shape Arc(Point c, double innerR, double outerR, double fromDeg, double toDeg) {
  return [=](double x, double y) {
    const double r = std::hypot(x - c.x, y - c.y);
    if (r < innerR || r > outerR) return false;
    double deg = std::atan2(c.y - y, x - c.x) * 180 / std::numbers::pi;
    if (deg < 0) deg += 360;
    return deg >= fromDeg && deg <= toDeg;
  };
}

// The head of an arrow that runs counter-clockwise around c and ends at angle deg.
Shape ArcArrowHead(Point c, double radius, double deg) {
  const double a = deg * std::numbers::pi / 180;
  const Point at{c.x + radius * std::cos(a), c.y - radius * std::sin(a)};
  const Point out{std::cos(a), -std::sin(a)};     // away from the centre
  const Point ahead{-std::sin(a), -std::cos(a)};  // direction of travel
  return ConvexPolygon({{at.x + out.x * 2.6, at.y + out.y * 2.6},
                        {at.x + ahead.x * 3.0, at.y + ahead.y * 3.0},
                        {at.x - out.x * 2.6, at.y - out.y * 2.6}});
}

void DrawSyncDisc(Canvas& c) {
  const Point centre{8, 8};
  c.Fill(Disc(centre, 7.9), kDarkOrange);
  c.Fill(Disc(centre, 7.0), kOrange);
  c.Fill(Arc(centre, 3.3, 4.7, 0, 125), kBlack);
  c.Fill(ArcArrowHead(centre, 4.0, 125), kBlack);
  c.Fill(Arc(centre, 3.3, 4.7, 180, 305), kBlack);
  c.Fill(ArcArrowHead(centre, 4.0, 305), kBlack);
}

void DrawStopped(Canvas& c) {
  DrawSyncDisc(c);
  c.Fill(Stroke({3.2, 3.2}, {12.8, 12.8}, 3.0), kRed);
}

void DrawNoTarget(Canvas& c) {
  c.Fill(Box(0, 4, 16, 12), kDarkGrey);
  c.Fill(Box(1, 5, 15, 11), kGrey);
  c.Fill(Box(3, 8, 9, 9), kDarkGrey);  // the drive's front slot
  c.Fill(Stroke({3, 2}, {13, 14}, 2.4), kOrangeRed);
  c.Fill(Stroke({13, 2}, {3, 14}, 2.4), kOrangeRed);
}

void DrawSyncing(Canvas& c) {
  c.Fill(Box(0, 0, 11, 8), kDarkGrey);  // monitor
  c.Fill(Box(1, 1, 10, 7), kScreenBlue);
  c.Fill(Box(4, 8, 7, 9), kDarkGrey);  // its stand
  c.Fill(Box(2, 9, 9, 10), kDarkGrey);
  c.Fill(Box(0, 12, 7, 14), kBlack);  // arrow to the diskette
  c.Fill(ConvexPolygon({{6, 9.5}, {10, 13}, {6, 16.5}}), kBlack);
  c.Fill(Box(11, 9, 16, 16), kNavy);  // diskette
  c.Fill(Box(12, 9, 15, 12), kSilver);
  c.Fill(Box(12, 14, 15, 16), kSilver);
}

void DrawError(Canvas& c) {
  c.Fill(ConvexPolygon({{5.5, 0.5}, {10.5, 0.5}, {9.3, 9.8}, {6.7, 9.8}}), kRed);
  c.Fill(Disc({8, 13.4}, 1.9), kRed);
}

UniqueGdiObject MakeBitmap(int bitsPerPixel, const void* bits) {
  return UniqueGdiObject(CreateBitmap(N, N, 1, bitsPerPixel, bits));
}

}  // namespace

HICON CreateStateIcon(uint8_t state) {
  Canvas canvas;
  switch (TrayStateIndex(state)) {
    case 0: DrawSyncDisc(canvas); break;
    case 1: DrawStopped(canvas); break;
    case 2: DrawNoTarget(canvas); break;
    case 3: DrawSyncing(canvas); break;
    default: DrawError(canvas); break;
  }

  // A transparent pixel is black in the colour bitmap and set in the mask, so that the icon
  // draws the same whether the shell uses the mask or the alpha channel.
  uint32_t colour[N * N];
  uint16_t mask[N] = {};  // one 16-bit row per line, leftmost pixel in the top bit
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      const uint32_t c = canvas.At(x, y);
      const bool transparent = c == kWhite;
      colour[y * N + x] = transparent ? 0 : (0xFF000000u | c);
      if (transparent) mask[y] |= static_cast<uint16_t>(0x8000u >> x);
    }
  // CreateBitmap reads each row's bytes in order, most significant bit of a byte first.
  for (uint16_t& row : mask) row = static_cast<uint16_t>((row >> 8) | (row << 8));

  UniqueGdiObject colourBitmap = MakeBitmap(32, colour);
  UniqueGdiObject maskBitmap = MakeBitmap(1, mask);
  if (!colourBitmap || !maskBitmap) return nullptr;
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = static_cast<HBITMAP>(colourBitmap.get());
  info.hbmMask = static_cast<HBITMAP>(maskBitmap.get());
  // The icon keeps copies of both bitmaps; ours are freed on return.
  return CreateIconIndirect(&info);
}

}  // namespace qm
