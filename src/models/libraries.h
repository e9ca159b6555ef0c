// The models module's state: the four libraries of loaded records. Each loads a file once
// and shares the record; all of them live until the program ends.
#pragma once

#include "models/mesh.h"
#include "models/model.h"
#include "models/skin.h"

namespace yulo {

// Destroyed in reverse order: the models before the meshes they point at.
struct ModelsState {
  MeshLibrary meshLibrary;            // .msh_s files
  SkinLibrary skinLibrary;            // .skn files
  AnimationLibrary animationLibrary;  // .anm files
  ModelLibrary modelLibrary;          // .cgo descriptions
};

extern ModelsState models;

}  // namespace yulo
