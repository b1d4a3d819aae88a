// screenshot OUT.png: saves the whole screen of $DISPLAY as a PNG file.
// Used under Xvfb to take the pictures in docs/.
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshot OUT.png\n");
    return 2;
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "screenshot: no display\n");
    return 1;
  }
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* picture =
      gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
  GError* error = nullptr;
  if (picture == nullptr || !gdk_pixbuf_save(picture, argv[1], "png", &error, nullptr)) {
    std::fprintf(stderr, "screenshot: cannot save %s: %s\n", argv[1], error != nullptr ? error->message : "no picture");
    return 1;
  }
  g_object_unref(picture);
  return 0;
}
