#pragma once
// The subsystems reach the layers above them only through hook tables of their own (the
// main window's services, graphics' calls into fonts, input and movies, the draw front's
// movie update). The entry layer fills them all once, when the program starts, before
// any engine call can need them.
namespace quelt {

void ConnectLayerHooks();

}  // namespace quelt
