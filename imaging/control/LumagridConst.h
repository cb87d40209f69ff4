#pragma once

#include "ImgFileType.h" // ImgFileType: imgJPG 1 ... imgTLA 12, the engine's own format codes

// What the host says the control is for; kept and stored only.
enum WorkingType : int {
    Editor = 1,
    Viewer = 2,
};
