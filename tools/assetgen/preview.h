// The scene as the program will show it, for looking at the art while making
// it: the sky column stamped across, the ground band, the props, a few walker
// frames and bubbles blended as the scene blends them.
#pragma once

#include "asset_set.h"

namespace zyn::assets {

Picture compose_preview(const AssetSet& assets);

}  // namespace zyn::assets
