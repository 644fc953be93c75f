// Every file of the scene's data folder, made in memory and written out.
#pragma once

#include <string>
#include <vector>

#include "picture.h"
#include "wav_file.h"

namespace zyn::assets {

struct NamedPicture {
    std::string file;
    Picture picture;
};
struct NamedSound {
    std::string file;
    Pcm16 sound;
};
struct AssetSet {
    std::vector<NamedPicture> pictures;
    std::vector<NamedSound> sounds;

    const Picture& picture(const std::string& file) const;
};

AssetSet make_assets();

// Writes every file into `folder` (which must exist); false on the first
// file that cannot be written, naming it in `failed`.
bool write_assets(const AssetSet& assets, const std::string& folder, std::string& failed);

}  // namespace zyn::assets
