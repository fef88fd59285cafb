// The patch `mphost render` plays when it is given none: a shape oscillator through a
// waveshaper and a shape envelope. At one second the oscillator's waveform is reshaped
// from a ramp to a rounded wave; the envelope releases at 2.4 seconds.
#pragma once

namespace mphost::cli {

inline constexpr const char* demoPatch = R"json({
  "description": "Shape oscillator -> waveshaper -> shape envelope; the waveform is reshaped at 1 s",
  "seconds": 3,
  "modules": [
    { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc",
      "values": { "Pitch": 0.4, "Shape": "(-5,-5)(-2.5,-2.5)(0,0)(2.5,2.5)(5,5)" } },
    { "name": "shaper", "bundle": "shape_modules", "id": "KV_Waveshaper",
      "values": { "Shape": "(-5,-4)(-2.5,-3)(0,0)(2.5,3)(5,4)", "Interpolation": "Spline" } },
    { "name": "env", "bundle": "shape_modules", "id": "KV_ShapeEnv",
      "values": { "Shape": "(-5,-5)(-4.5,5)(-2,2)(5,-5)", "Duration": 1500, "SustainNode": 2, "Gate": 1 } }
  ],
  "connections": [ "osc.Out -> shaper.InL", "shaper.OutL -> env.In" ],
  "outputs": [ "env.Out" ],
  "script": [
    { "time": 1.0, "set": "osc.Shape", "value": "(-5,0)(-4,3)(-2.5,5)(-1,3)(0,0)(1,-3)(2.5,-5)(4,-3)(5,0)" },
    { "time": 2.4, "set": "env.Gate", "value": 0 }
  ]
})json";

}  // namespace mphost::cli
