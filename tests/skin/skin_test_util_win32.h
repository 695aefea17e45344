// Helpers of the skin tests: pictures and INI files written on the fly,
// message pumping and reading back what a window shows.
#pragma once

#include <windows.h>
#include <objidl.h>  // gdiplus.h needs it with WIN32_LEAN_AND_MEAN
#include <gdiplus.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/handles_win32.h"
#include "widgets/dialog_win32.h"

namespace kv::test {

inline std::wstring tempDir() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + L"kv_skin_tests\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

// A 24-bit BMP whose pixel (x, y) is colour(x, y) (a COLORREF).
inline void writeBmp(const std::wstring& path, int w, int h, const std::function<COLORREF(int, int)>& colour) {
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof(ih);
  ih.biWidth = w;
  ih.biHeight = h;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = static_cast<DWORD>(stride * h);
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + ih.biSizeImage;
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
  out.write(reinterpret_cast<const char*>(&ih), sizeof(ih));
  std::string row(static_cast<size_t>(stride), '\0');
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      COLORREF c = colour(x, y);
      row[x * 3] = static_cast<char>(GetBValue(c));
      row[x * 3 + 1] = static_cast<char>(GetGValue(c));
      row[x * 3 + 2] = static_cast<char>(GetRValue(c));
    }
    out.write(row.data(), stride);
  }
}

// An INI file in UTF-16 LE with a byte-order mark, as the skins are stored.
inline void writeIni(const std::wstring& path, const std::wstring& content) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.put(char(0xFF));
  out.put(char(0xFE));
  for (wchar_t c : content) {
    out.put(char(c & 0xFF));
    out.put(char((c >> 8) & 0xFF));
  }
}

// Runs the window layer's message handling for a while.
inline void pump(DWORD ms = 50) {
  DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) PumpMessage(msg);
    Sleep(5);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

// What the window shows at (x, y) of its client area.
inline COLORREF pixelOf(HWND hwnd, int x, int y) {
  WindowDc dc(hwnd);
  return dc ? GetPixel(dc.get(), x, y) : CLR_INVALID;
}

// A memory surface holding a picture drawn by colour(x, y).
inline UniqueBitmap makeBitmap(int w, int h, const std::function<COLORREF(int, int)>& colour) {
  WindowDc screen(nullptr);
  UniqueBitmap bm(CreateCompatibleBitmap(screen.get(), w, h));
  UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
  SelectObjectRestorer sel(dc.get(), bm.get());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixelV(dc.get(), x, y, colour(x, y));
  return bm;
}

// Saves what a window shows (read from the screen) as a 24-bit BMP.
inline bool saveWindowShot(HWND hwnd, const std::wstring& path) {
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  WindowDc screen(nullptr);
  UniqueMemoryDc mem(CreateCompatibleDC(screen.get()));
  UniqueBitmap bm(CreateCompatibleBitmap(screen.get(), w, h));
  {
    SelectObjectRestorer sel(mem.get(), bm.get());
    if (!BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY)) return false;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  const int stride = (w * 3 + 3) & ~3;
  std::string bits(static_cast<size_t>(stride) * h, '\0');
  if (GetDIBits(mem.get(), bm.get(), 0, h, bits.data(), &bi, DIB_RGB_COLORS) != h) return false;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(BITMAPINFOHEADER);
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(bits.size());
  bi.bmiHeader.biSizeImage = static_cast<DWORD>(bits.size());
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&fh), sizeof(fh));
  out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
  out.write(bits.data(), static_cast<std::streamsize>(bits.size()));
  return static_cast<bool>(out);
}

// A PNG copy of a BMP file, through the image library's encoder.
inline bool bmpToPng(const std::wstring& bmp, const std::wstring& png) {
  namespace gp = Gdiplus::DllExports;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Gdiplus::GpBitmap* image = nullptr;
  bool ok = gp::GdipCreateBitmapFromFile(bmp.c_str(), &image) == Gdiplus::Ok &&
            gp::GdipSaveImageToFile(image, png.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
  if (image) gp::GdipDisposeImage(image);
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

}  // namespace kv::test
