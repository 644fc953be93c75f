#include "art.h"
#include "palette.h"

namespace zyn::assets {

Picture make_blue_house() {
    Picture pic(146, 135);
    pic.fill_rect(4, 4, 146 - 8, 135 - 4, colours::cream);
    pic.outline(colours::ink);
    return pic;
}

}  // namespace zyn::assets
