#include "asset_set.h"

#include <stdexcept>

#include "art.h"
#include "bmp_file.h"
#include "sounds.h"

namespace zyn::assets {

const Picture& AssetSet::picture(const std::string& file) const {
    for (const auto& p : pictures)
        if (p.file == file) return p.picture;
    throw std::out_of_range("no picture " + file);
}

AssetSet make_assets() {
    WalkerSheets walker = make_walker();
    AssetSet set;
    set.pictures.push_back({"sky_264.bmp", make_sky()});
    set.pictures.push_back({"p_home.bmp", make_kennel()});
    set.pictures.push_back({"t_home.bmp", make_town_house()});
    set.pictures.push_back({"s_home.bmp", make_blue_house()});
    set.pictures.push_back({"kk_sign.bmp", make_shop_sign()});
    set.pictures.push_back({"kk.bmp", make_kiosk()});
    set.pictures.push_back({"s_walk_right.bmp", std::move(walker.walk_right)});
    set.pictures.push_back({"s_turn_left.bmp", std::move(walker.turn_left)});
    set.pictures.push_back({"s_walk_left.bmp", std::move(walker.walk_left)});
    set.pictures.push_back({"s_turn_right.bmp", std::move(walker.turn_right)});
    set.pictures.push_back({"bubble_8.bmp", make_bubble(8)});
    set.pictures.push_back({"bubble_16.bmp", make_bubble(16)});
    set.pictures.push_back({"bubble_24.bmp", make_bubble(24)});
    set.sounds.push_back({"loop.wav", make_background_loop()});
    set.sounds.push_back({"s_step_left.wav", make_step(Foot::left)});
    set.sounds.push_back({"s_step_right.wav", make_step(Foot::right)});
    return set;
}

bool write_assets(const AssetSet& assets, const std::string& folder, std::string& failed) {
    for (const auto& p : assets.pictures)
        if (!write_bmp(folder + "/" + p.file, p.picture)) {
            failed = p.file;
            return false;
        }
    for (const auto& s : assets.sounds)
        if (!write_wav(folder + "/" + s.file, s.sound)) {
            failed = s.file;
            return false;
        }
    return true;
}

}  // namespace zyn::assets
