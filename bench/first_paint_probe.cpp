// Time from starting a command to text on an X screen: starts COMMAND, then takes the
// whole screen (a white root window) every few milliseconds and prints the milliseconds
// that passed until at least THRESHOLD pixels are dark, or "timeout" after 30 s.
// With PROBE_SHOT=FILE set, the screen at that moment is written to FILE as a PPM.
//
//   first_paint_probe THRESHOLD COMMAND [ARGUMENT...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long darkPixels(XImage* image) {
  long dark = 0;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      if (((pixel >> 16) & 0xff) < 90 && ((pixel >> 8) & 0xff) < 90 && (pixel & 0xff) < 90) ++dark;
    }
  }
  return dark;
}

void writeShot(XImage* image, const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return;
  std::fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                              static_cast<unsigned char>(pixel >> 8),
                              static_cast<unsigned char>(pixel)};
      std::fwrite(rgb, 1, 3, out);
    }
  }
  std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: first_paint_probe THRESHOLD COMMAND [ARGUMENT...]\n", stderr);
    return 2;
  }
  const long threshold = std::atol(argv[1]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fputs("first_paint_probe: cannot open the display\n", stderr);
    return 1;
  }
  Window root = DefaultRootWindow(display);
  XWindowAttributes screen;
  XGetWindowAttributes(display, root, &screen);

  const auto start = Clock::now();
  if (fork() == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  while (Clock::now() - start < std::chrono::seconds(30)) {
    XImage* image = XGetImage(display, root, 0, 0, screen.width, screen.height, AllPlanes, ZPixmap);
    const auto taken = Clock::now();
    if (image != nullptr && darkPixels(image) >= threshold) {
      std::printf("%.0f\n", std::chrono::duration<double, std::milli>(taken - start).count());
      if (const char* shot = std::getenv("PROBE_SHOT")) writeShot(image, shot);
      XDestroyImage(image);
      return 0;
    }
    if (image != nullptr) XDestroyImage(image);
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
  }
  std::puts("timeout");
  return 1;
}
