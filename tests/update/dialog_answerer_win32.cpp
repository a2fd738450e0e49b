#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "dialog_answerer.h"
#include "tools/host/offer_dialog_win32.h"

namespace testing_support {

namespace {

std::uint32_t Crc(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0xFFFFFFFFu) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc;
}

void Chunk(std::vector<std::uint8_t>* png, const char* type,
           const std::vector<std::uint8_t>& data) {
  auto be32 = [&](std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
      png->push_back(std::uint8_t(v >> s));
  };
  be32(std::uint32_t(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png->insert(png->end(), body.begin(), body.end());
  be32(Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
}

// Writes rows of RGB pixels as a PNG with stored (uncompressed) deflate blocks.
void WritePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
  }
  std::vector<std::uint8_t> z = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0;) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    z.push_back(at + n == raw.size() ? 1 : 0);
    z.push_back(std::uint8_t(n));
    z.push_back(std::uint8_t(n >> 8));
    z.push_back(std::uint8_t(~n));
    z.push_back(std::uint8_t(~n >> 8));
    z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
    at += n;
    if (n == 0) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (int s = 24; s >= 0; s -= 8)
    z.push_back(std::uint8_t(((b << 16) | a) >> s));
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  for (std::uint32_t v : {std::uint32_t(width), std::uint32_t(height)})
    for (int s = 24; s >= 0; s -= 8)
      header.push_back(std::uint8_t(v >> s));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", {});
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
  }
}

// A picture of the window as the screen shows it.
void Photograph(HWND window, const std::string& path) {
  RECT r;
  ::GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint8_t> bgra(std::size_t(w) * h * 4);
  ::GetDIBits(memory, bitmap, 0, h, bgra.data(), &info, DIB_RGB_COLORS);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  std::vector<std::uint8_t> rgb;
  for (std::size_t i = 0; i < bgra.size(); i += 4)
    rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
  WritePng(path, w, h, rgb);
}

}  // namespace

struct DialogAnswerer::Impl {
  DialogSeen seen;
  std::atomic<bool> stop{false};
  std::thread watcher;
  void Finish() {
    stop = true;
    if (watcher.joinable()) watcher.join();
  }
};

DialogAnswerer::DialogAnswerer(DialogAnswer answer, const std::string& screenshot)
    : impl_(new Impl) {
  Impl* impl = impl_;
  impl_->watcher = std::thread([impl, answer, screenshot] {
    for (int tries = 0; tries < 400 && !impl->stop; ++tries) {  // up to 20 seconds
      HWND dialog = FindOwnDialog();
      if (!dialog) {
        ::Sleep(50);
        continue;
      }
      ::Sleep(300);  // let it paint before it is read and photographed
      const OfferDialogView view = ReadOfferDialog(dialog);
      DialogSeen& seen = impl->seen;
      seen.shown = true;
      seen.caption = view.caption;
      seen.accept = view.accept;
      seen.decline = view.decline;
      seen.items = view.lines;
      if (!screenshot.empty()) Photograph(dialog, screenshot);
      if (answer == DialogAnswer::kClose) {
        ::PostMessageA(dialog, WM_CLOSE, 0, 0);
      } else {
        HWND button = ::GetDlgItem(dialog, answer == DialogAnswer::kAccept ? IDOK : IDCANCEL);
        ::PostMessageA(button, BM_CLICK, 0, 0);
      }
      return;
    }
  });
}

DialogAnswerer::~DialogAnswerer() {
  impl_->Finish();
  delete impl_;
}

DialogSeen DialogAnswerer::Seen() {
  impl_->Finish();
  return impl_->seen;
}

}  // namespace testing_support
