// Reading an icon back into pixels, for the tray tests.
#pragma once

#include "base/handles.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qm::test {

struct IconPixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> colour;    // 0xRRGGBB, row by row from the top
  std::vector<bool> transparent;   // set in the icon's mask

  uint32_t At(int x, int y) const { return colour[y * width + x]; }
  bool Clear(int x, int y) const { return transparent[y * width + x]; }
  bool operator==(const IconPixels&) const = default;
};

inline std::vector<uint32_t> ReadBitmap32(HBITMAP bitmap, int& width, int& height) {
  BITMAP bm{};
  if (!GetObjectA(bitmap, sizeof bm, &bm)) return {};
  width = bm.bmWidth;
  height = bm.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> px(static_cast<size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, height, px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != height) return {};
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return px;
}

// Empty (width 0) when the handle is not a live icon.
inline IconPixels ReadIcon(HICON icon) {
  IconPixels out;
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return out;
  UniqueGdiObject colour(info.hbmColor), mask(info.hbmMask);
  if (!colour || !mask) return out;
  int w = 0, h = 0, mw = 0, mh = 0;
  std::vector<uint32_t> c = ReadBitmap32(info.hbmColor, w, h);
  std::vector<uint32_t> m = ReadBitmap32(info.hbmMask, mw, mh);
  if (c.empty() || m.size() != c.size()) return out;
  out.width = w;
  out.height = h;
  out.colour = std::move(c);
  for (uint32_t p : m) out.transparent.push_back(p != 0);
  return out;
}

}  // namespace qm::test
