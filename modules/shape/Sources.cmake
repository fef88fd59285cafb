# The sources every shape bundle compiles in: the shape string model and one source per
# module. Each bundle picks its parser form and identifiers with MP_SHAPE_CLASSIC.
set(shape_dir ${CMAKE_SOURCE_DIR}/modules/shape)
set(shape_module_sources
  ${shape_dir}/ShapeString.cpp
  ${shape_dir}/ShapeOsc.cpp
  ${shape_dir}/ShapePulser.cpp
  ${shape_dir}/ShapeEnvelope.cpp
  ${shape_dir}/Waveshaper.cpp
  ${shape_dir}/ShapeAmplifier.cpp
  ${shape_dir}/ShapeStringModifier.cpp
  ${shape_dir}/ShapeNodeModulator.cpp
  ${shape_dir}/ShapeShifter.cpp
  ${shape_dir}/ShapeMorpher.cpp
  ${shape_dir}/ShapeEditor.cpp
  # Interface-side modules without drawing: the string modifier and the shape files.
  ${shape_dir}/ShapeStringModifierGui.cpp
  ${shape_dir}/ShapeFile.cpp
  ${shape_dir}/ShapeLoader.cpp
  ${shape_dir}/ShapeSaver.cpp
  ${shape_dir}/ShapeLoader2.cpp
  ${shape_dir}/ShapeSaver2.cpp)
