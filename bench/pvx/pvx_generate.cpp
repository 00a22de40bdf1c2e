// Writes a generated PVX study:
//   pvx_generate <file> <runs> <slots> <timesteps> [step hours] [mixed|series] [colliding|vN]
// "mixed" (the default) puts a table slot and a scalar slot among the series slots; "colliding"
// gives the slots object names that agree in their first 40 characters, "vN" object names of
// model version N.
#include "PvxGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(
            stderr,
            "usage: %s <file> <runs> <slots> <timesteps> [step hours] [mixed|series] [colliding|vN]\n",
            argv[0]);
        return 2;
    }
    PvxStudyShape shape;
    shape.runs = std::atoi(argv[2]);
    shape.slots = std::atoi(argv[3]);
    shape.timesteps = std::atoi(argv[4]);
    if (argc > 5)
        shape.stepHours = std::atoi(argv[5]);
    if (argc > 6)
        shape.otherSlotKinds = std::string(argv[6]) != "series";
    if (argc > 7) {
        const std::string names = argv[7];
        shape.collidingNames = names == "colliding";
        if (names.size() > 1 && names[0] == 'v')
            shape.nameVersion = std::atoi(names.c_str() + 1);
    }
    if (!writePvxStudy(argv[1], shape)) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
