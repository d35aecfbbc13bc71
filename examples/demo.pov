// Kilnlight demo scene: a few glossy objects on a checkered floor.
#version 3.7;

global_settings { assumed_gamma 1.0 }

// Linear gamma makes the stock ambient far too bright; keep shadows deep.
#default { finish { ambient 0.03 diffuse 0.7 } }

camera {
  location <0.4, 2.6, -7.5>
  look_at <0, 0.9, 0.6>
  angle 48
}

light_source {
  <-6, 9, -7>
  color rgb <1.0, 0.95, 0.88> * 1.2
  area_light <2, 0, 0>, <0, 0, 2>, 4, 4 adaptive 1 jitter circular orient
}
light_source { <8, 5, -2> color rgb <0.3, 0.38, 0.55> shadowless }

sky_sphere {
  pigment {
    gradient y
    color_map {
      [0.00 color rgb <0.9, 0.72, 0.55>]
      [0.12 color rgb <0.45, 0.6, 0.9>]
      [0.60 color rgb <0.08, 0.2, 0.55>]
    }
  }
}

// Fades the far checkers into the horizon instead of letting them alias.
fog { fog_type 2 distance 12 color rgb <0.85, 0.74, 0.64> fog_offset 0 fog_alt 0.35 }

plane {
  y, 0
  texture {
    pigment { checker color rgb <0.75, 0.72, 0.66>, color rgb <0.05, 0.06, 0.08> }
    finish { specular 0.15 reflection 0.06 }
    scale 1.2
  }
}

#declare Glossy = finish { specular 0.7 roughness 0.004 reflection { 0.03, 0.25 fresnel on } conserve_energy }

sphere {
  <0, 1.1, 0.4>, 1.1
  texture { pigment { color rgb <0.65, 0.04, 0.02> } finish { Glossy } }
  interior { ior 1.5 }
}

box {
  <-0.6, 0, -0.6>, <0.6, 1.2, 0.6>
  rotate y * 30
  translate <-2.5, 0, 0.6>
  texture { pigment { color rgb <0.03, 0.18, 0.6> } finish { Glossy } }
  interior { ior 1.5 }
}

torus {
  0.55, 0.2
  rotate x * 70
  rotate y * -25
  translate <2.3, 0.73, -0.1>
  texture {
    pigment { color rgb <0.95, 0.65, 0.2> }
    finish { diffuse 0.3 specular 0.9 roughness 0.002 metallic reflection { 0.6 metallic } }
  }
}

cone {
  <0, 0, 0>, 0.45, <0, 1.4, 0>, 0
  translate <-1.2, 0, -1.6>
  texture { pigment { color rgb <0.04, 0.4, 0.1> } finish { Glossy } }
  interior { ior 1.5 }
}
