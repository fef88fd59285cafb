// The patch `mphost render` plays when it is given none: a shape editor drives a shape
// oscillator, played through a waveshaper and a shape envelope. Scripted drags in the
// editor at 0.9 and 1.5 seconds bend the oscillator's ramp into a triangle-like wave;
// the envelope releases at 2.4 seconds.
#pragma once

namespace mphost::cli {

// The editor spans 210 x 210 pixels with shape (0, 0) at its centre, 21 pixels a unit.
inline constexpr const char* demoPatch = R"json({
  "description": "Shape editor -> shape oscillator -> waveshaper -> shape envelope; drags reshape the wave at 1 s and 1.5 s",
  "seconds": 3,
  "modules": [
    { "name": "editor", "bundle": "shape_modules", "id": "KV_ShapeEditor4", "rect": [0, 0, 210, 210],
      "values": { "Shape": "(-5,-5)(-2.5,-2.5)(0,0)(2.5,2.5)(5,5)" } },
    { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc",
      "values": { "Pitch": 0.4, "Shape": "(-5,-5)(-2.5,-2.5)(0,0)(2.5,2.5)(5,5)" } },
    { "name": "shaper", "bundle": "shape_modules", "id": "KV_Waveshaper",
      "values": { "Shape": "(-5,-4)(-2.5,-3)(0,0)(2.5,3)(5,4)", "Interpolation": "Spline" } },
    { "name": "env", "bundle": "shape_modules", "id": "KV_ShapeEnv",
      "values": { "Shape": "(-5,-5)(-4.5,5)(-2,2)(5,-5)", "Duration": 1500, "SustainNode": 2, "Gate": 1 } }
  ],
  "connections": [ "editor.Shape -> osc.Shape", "osc.Out -> shaper.InL", "shaper.OutL -> env.In" ],
  "outputs": [ "env.Out" ],
  "script": [
    { "time": 0.9, "drag": "editor", "from": [52.5, 157.5], "to": [52.5, 21], "duration": 0.1, "steps": 10 },
    { "time": 1.5, "drag": "editor", "from": [157.5, 52.5], "to": [157.5, 189], "duration": 0.1, "steps": 10 },
    { "time": 2.4, "set": "env.Gate", "value": 0 }
  ]
})json";

}  // namespace mphost::cli
