#include "art.h"
#include "palette.h"

namespace zyn::assets {

Picture make_kiosk() {
    Picture pic(200, 130);
    pic.fill_rect(4, 4, 200 - 8, 130 - 4, colours::cream);
    pic.outline(colours::ink);
    return pic;
}

}  // namespace zyn::assets
