#include "art.h"
#include "palette.h"

namespace zyn::assets {

Picture make_town_house() {
    Picture pic(132, 135);
    pic.fill_rect(4, 4, 132 - 8, 135 - 4, colours::cream);
    pic.outline(colours::ink);
    return pic;
}

}  // namespace zyn::assets
