#include "scene_main.h"

int main(int argc, char **argv) { zyn::scene::scene_main(argc, argv); }
