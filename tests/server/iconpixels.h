// Reads an icon back into pixels, for the tray tests.
#pragma once

#include "base/handles.h"
#include "server/trayicons.h"

#include <cstdint>
#include <vector>

namespace qm::test {

struct IconPixels {
  int width = 0;  // 0: not a live icon
  std::vector<uint32_t> colour;  // 0xRRGGBB, rows from the top
  std::vector<uint32_t> mask;    // non-zero where the icon is transparent
  bool operator==(const IconPixels&) const = default;
};

inline std::vector<uint32_t> ReadBitmap(HBITMAP bitmap, int& width) {
  BITMAP bm{};
  if (!GetObjectA(bitmap, sizeof bm, &bm)) return {};
  width = bm.bmWidth;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
  std::vector<uint32_t> px(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, bm.bmHeight, px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return lines == bm.bmHeight ? px : std::vector<uint32_t>{};
}

inline IconPixels ReadIcon(HICON icon) {
  IconPixels out;
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return out;
  UniqueGdiObject colour(info.hbmColor), mask(info.hbmMask);
  int width = 0, maskWidth = 0;
  out.colour = ReadBitmap(info.hbmColor, width);
  out.mask = ReadBitmap(info.hbmMask, maskWidth);
  if (!out.colour.empty() && out.mask.size() == out.colour.size()) out.width = width;
  return out;
}

inline IconPixels StateImage(uint8_t state) {
  UniqueIcon icon(CreateStateIcon(state));
  return ReadIcon(icon.get());
}

}  // namespace qm::test
