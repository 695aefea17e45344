#include "skin/skin_picture_win32.h"

#include <ocidl.h>
#include <olectl.h>
#include <objidl.h>
// The image library's flat functions (declared in Gdiplus::DllExports).
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "base/exit_codes.h"
#include "base/log_win32.h"
#include "skin/mask_outline.h"
#include "widgets/application_win32.h"

namespace kv {

namespace gp = Gdiplus::DllExports;

namespace {

constexpr LONGLONG kMaxPictureBytes = 256LL << 20;

// A 32-bit top-down DIB section of the given size, and its memory DC.
struct DibCanvas {
  UniqueMemoryDc dc;
  UniqueBitmap bitmap;
  SelectObjectRestorer select;
  bool make(int w, int h) {
    if (w <= 0 || h <= 0) return false;
    dc.reset(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap.reset(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return false;
    select = SelectObjectRestorer(dc.get(), bitmap.get());
    return static_cast<bool>(select);
  }
  // Hands the bitmap out, deselected.
  UniqueBitmap take() {
    select.restore();
    return std::move(bitmap);
  }
};

template <class T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
};

int copyPicture(IPicture* picture, UniqueBitmap& out) {
  short type = PICTYPE_UNINITIALIZED;
  if (FAILED(picture->get_Type(&type))) return kExitSkinPictureBitmap;
  DibCanvas canvas;
  if (type == PICTYPE_BITMAP) {
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle)) || !handle) return kExitSkinPictureBitmap;
    HBITMAP source = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    BITMAP bm{};
    if (!GetObjectW(source, sizeof(bm), &bm) || !canvas.make(bm.bmWidth, bm.bmHeight))
      return kExitSkinPictureBitmap;
    UniqueMemoryDc src(CreateCompatibleDC(nullptr));
    if (!src) return kExitSkinPictureBitmap;
    // The picture object may already have its bitmap selected somewhere;
    // its own DC is the reliable source then.
    HDC pictureDc = nullptr;
    SelectObjectRestorer sel;
    if (FAILED(picture->get_CurDC(&pictureDc)) || !pictureDc) {
      sel = SelectObjectRestorer(src.get(), source);
      if (!sel) return kExitSkinPictureBitmap;
      pictureDc = src.get();
    }
    if (!BitBlt(canvas.dc.get(), 0, 0, bm.bmWidth, bm.bmHeight, pictureDc, 0, 0, SRCCOPY))
      return kExitSkinPictureBitmap;
  } else {
    OLE_XSIZE_HIMETRIC hw = 0;
    OLE_YSIZE_HIMETRIC hh = 0;
    if (FAILED(picture->get_Width(&hw)) || FAILED(picture->get_Height(&hh))) return kExitSkinPictureBitmap;
    WindowDc screen(nullptr);
    int dpiX = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    int dpiY = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    int w = MulDiv(hw, dpiX, 2540), h = MulDiv(hh, dpiY, 2540);
    if (!canvas.make(w, h)) return kExitSkinPictureBitmap;
    RECT all{0, 0, w, h};
    FillRect(canvas.dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (FAILED(picture->Render(canvas.dc.get(), 0, 0, w, h, 0, hh, hw, -hh, nullptr)))
      return kExitSkinPictureBitmap;
  }
  GdiFlush();
  out = canvas.take();
  return 0;
}

}  // namespace

int tryLoadPictureFile(const std::wstring& path, UniqueBitmap& out) {
  out.reset();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kExitSkinPictureOpen;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxPictureBytes)
    return kExitSkinPictureSize;
  const DWORD bytes = static_cast<DWORD>(size.QuadPart);
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!block) return kExitSkinPictureMemory;
  void* data = GlobalLock(block.get());
  if (!data) return kExitSkinPictureMemory;
  DWORD got = 0;
  BOOL read = ReadFile(file.get(), data, bytes, &got, nullptr);
  GlobalUnlock(block.get());
  if (!read || got != bytes) return kExitSkinPictureRead;
  file.reset();

  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, &stream.p)) || !stream.p) return kExitSkinPictureStream;
  block.release();  // the stream owns the block now

  ComPtr<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.p, static_cast<LONG>(bytes), FALSE, IID_IPicture,
                            reinterpret_cast<void**>(&picture.p))) ||
      !picture.p)
    return kExitSkinPictureDecode;
  return copyPicture(picture.p, out);
}

UniqueBitmap loadPictureFile(const std::wstring& path) {
  UniqueBitmap bitmap;
  int code = tryLoadPictureFile(path, bitmap);
  if (code != 0) ExitFatally(code, path);
  return bitmap;
}

UniqueRegion regionFromMask(HBITMAP mask, COLORREF key, COLORREF tolerance) {
  BITMAP bm{};
  if (!mask || !GetObjectW(mask, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return {};
  const int w = bm.bmWidth, h = bm.bmHeight;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!dc || GetDIBits(dc.get(), mask, 0, h, pixels.data(), &bi, DIB_RGB_COLORS) != h) return {};

  std::vector<OutlineRect> runs =
      outlineRuns(pixels, w, h, Rgb{GetRValue(key), GetGValue(key), GetBValue(key)},
                  Rgb{GetRValue(tolerance), GetGValue(tolerance), GetBValue(tolerance)});
  UniqueRegion result(CreateRectRgn(0, 0, 0, 0));
  if (!result) return {};
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + kOutlineBatchRects * sizeof(RECT));
  for (size_t start = 0; start < runs.size(); start += kOutlineBatchRects) {
    const size_t n = std::min(kOutlineBatchRects, runs.size() - start);
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
    RECT bound{runs[start].left, runs[start].top, runs[start].right, runs[start].bottom};
    for (size_t i = 0; i < n; ++i) {
      const OutlineRect& r = runs[start + i];
      rects[i] = RECT{r.left, r.top, r.right, r.bottom};
      bound.left = std::min<LONG>(bound.left, r.left);
      bound.top = std::min<LONG>(bound.top, r.top);
      bound.right = std::max<LONG>(bound.right, r.right);
      bound.bottom = std::max<LONG>(bound.bottom, r.bottom);
    }
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = static_cast<DWORD>(n);
    header->nRgnSize = static_cast<DWORD>(n * sizeof(RECT));
    header->rcBound = bound;
    UniqueRegion part(ExtCreateRegion(nullptr, static_cast<DWORD>(sizeof(RGNDATAHEADER) + n * sizeof(RECT)),
                                      reinterpret_cast<const RGNDATA*>(data.data())));
    if (!part || CombineRgn(result.get(), result.get(), part.get(), RGN_OR) == ERROR) return {};
  }
  return result;
}

// ---- image library ----

namespace {

// Started on first use and kept for the life of the process: image objects
// of dialogs live until exit.
bool imageLibraryStarted() {
  static const bool started = [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  return started;
}

}  // namespace

SkinImage::~SkinImage() {
  if (bitmap_) gp::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(bitmap_));
}

SkinImage::SkinImage(SkinImage&& o) noexcept
    : bitmap_(std::exchange(o.bitmap_, nullptr)), created_(o.created_), width_(o.width_), height_(o.height_) {}

SkinImage& SkinImage::operator=(SkinImage&& o) noexcept {
  if (this != &o) {
    if (bitmap_) gp::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(bitmap_));
    bitmap_ = std::exchange(o.bitmap_, nullptr);
    created_ = o.created_;
    width_ = o.width_;
    height_ = o.height_;
  }
  return *this;
}

UniqueBitmap SkinImage::toBitmap() const {
  if (!bitmap_) return {};
  HBITMAP hbm = nullptr;
  if (gp::GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(bitmap_), &hbm, 0xFF000000) !=
      Gdiplus::Ok)
    return {};
  return UniqueBitmap(hbm);
}

std::wstring skinsFolder() { return ExecutableFolder() + L"Skins\\"; }

SkinImage loadSkinPictureFile(const std::wstring& path) {
  SkinImage image;
  if (!imageLibraryStarted()) return image;
  image.created_ = true;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Gdiplus::Ok || !bitmap) return image;
  UINT w = 0, h = 0;
  if (gp::GdipGetImageWidth(bitmap, &w) != Gdiplus::Ok || gp::GdipGetImageHeight(bitmap, &h) != Gdiplus::Ok ||
      w == 0 || h == 0) {
    gp::GdipDisposeImage(bitmap);
    return image;
  }
  image.bitmap_ = bitmap;
  image.width_ = static_cast<int>(w);
  image.height_ = static_cast<int>(h);
  return image;
}

SkinImage loadSkinPicture(std::wstring_view fileName) { return loadSkinPictureFile(skinsFolder() + std::wstring(fileName)); }

SkinImage loadSkinPictureOrExit(std::wstring_view fileName) {
  SkinImage image = loadSkinPicture(fileName);
  if (!image.created()) ExitFatally(kExitSkinImageObject, fileName);
  return image;
}

// ---- skin surfaces ----

void SkinSurface::reset() {
  select_.restore();
  bitmap_.reset();
  dc_.reset();
  width_ = height_ = 0;
}

bool SkinSurface::build(HDC compatibleWith, int width, int height, HBITMAP picture) {
  reset();
  if (width <= 0 || height <= 0) return false;
  UniqueMemoryDc dc(CreateCompatibleDC(compatibleWith));
  UniqueBitmap bitmap(compatibleWith ? CreateCompatibleBitmap(compatibleWith, width, height) : nullptr);
  if (!dc || !bitmap) return false;
  SelectObjectRestorer select(dc.get(), bitmap.get());
  if (!select) return false;
  RECT all{0, 0, width, height};
  FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (picture) {
    BITMAP bm{};
    UniqueMemoryDc src(CreateCompatibleDC(compatibleWith));
    if (src && GetObjectW(picture, sizeof(bm), &bm)) {
      SelectObjectRestorer sel(src.get(), picture);
      if (sel)
        BitBlt(dc.get(), 0, 0, std::min<int>(width, bm.bmWidth), std::min<int>(height, bm.bmHeight), src.get(), 0,
               0, SRCCOPY);
    }
  }
  dc_ = std::move(dc);
  bitmap_ = std::move(bitmap);
  select_ = std::move(select);
  width_ = width;
  height_ = height;
  return true;
}

bool makeSkinSurface(SkinSurface& surface, const SkinImage& image, HWND dialog) {
  UniqueBitmap picture = image.toBitmap();
  return makeSkinSurface(surface, picture.get(), dialog);
}

bool makeSkinSurface(SkinSurface& surface, HBITMAP picture, HWND dialog) {
  RECT client{};
  if (!dialog || !GetClientRect(dialog, &client)) return false;
  WindowDc dc(dialog);
  if (!dc) return false;
  return surface.build(dc.get(), client.right + 100, client.bottom + 100, picture);
}

}  // namespace kv
