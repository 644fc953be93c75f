#include "art.h"
#include "palette.h"

namespace zyn::assets {

Picture make_shop_sign() {
    Picture pic(90, 225);
    pic.fill_rect(4, 4, 90 - 8, 225 - 4, colours::cream);
    pic.outline(colours::ink);
    return pic;
}

}  // namespace zyn::assets
