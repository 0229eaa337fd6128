// Top-level windows on X11 share the screen's default colormap. The toolkit
// gives each window a colormap of its own that nobody installs; on a true-colour
// screen that changes nothing a monitor shows, but screen readers of the whole
// display (xwd -root, old window managers, remote viewers) then draw such a
// window over another one as a black rectangle.
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

#include <memory>

#include "platform/ui/controls_p.h"

namespace ui::detail {
namespace {

xcb_colormap_t defaultColormapFor(xcb_connection_t* c, xcb_window_t id) {
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attrs(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr), &free);
    if (!attrs) return XCB_NONE;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        if (it.data->root_visual == attrs->visual) return attrs->colormap == it.data->default_colormap ? XCB_NONE : it.data->default_colormap;
    return XCB_NONE;  // another visual needs the colormap it was made with
}

class TColormapSharer : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::Show || !o->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(o);
        if (!w->isWindow()) return false;
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection()) return false;
        xcb_connection_t* c = x11->connection();
        const auto id = static_cast<xcb_window_t>(w->winId());
        if (const xcb_colormap_t cm = defaultColormapFor(c, id)) {
            xcb_change_window_attributes(c, id, XCB_CW_COLORMAP, &cm);
            xcb_flush(c);
        }
        return false;
    }
};

}  // namespace

void ShareDefaultColormap() {
    static bool installed = false;
    if (installed || !qApp || QGuiApplication::platformName() != "xcb") return;
    installed = true;
    auto* sharer = new TColormapSharer;
    sharer->setParent(qApp);
    qApp->installEventFilter(sharer);
}

}  // namespace ui::detail
