// zyn-assetgen: makes the scene's pictures and sounds.
//
//   zyn-assetgen FOLDER               write the 16 data files into FOLDER
//   zyn-assetgen --preview FILE.png [SCALE]
//                                     write an 800 x 480 picture of the scene
//                                     (a .bmp name writes a BMP), enlarged
//                                     SCALE times for a close look

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "asset_set.h"
#include "bmp_file.h"
#include "png_file.h"
#include "preview.h"

int main(int argc, char** argv) {
    using namespace zyn::assets;
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--preview") == 0) {
        const std::string file = argv[2];
        const int scale = argc == 4 ? std::max(1, std::min(8, std::atoi(argv[3]))) : 1;
        const Picture screen = compose_preview(make_assets());
        const bool bmp = file.size() > 4 && file.substr(file.size() - 4) == ".bmp";
        if (!(bmp ? write_bmp(file, screen) : write_png(file, screen, scale))) {
            std::fprintf(stderr, "zyn-assetgen: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: zyn-assetgen FOLDER | --preview FILE.png [SCALE]\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    if (error) {
        std::fprintf(stderr, "zyn-assetgen: cannot create %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    std::string failed;
    if (!write_assets(make_assets(), argv[1], failed)) {
        std::fprintf(stderr, "zyn-assetgen: cannot write %s/%s\n", argv[1], failed.c_str());
        return 1;
    }
    return 0;
}
