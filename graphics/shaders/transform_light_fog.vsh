// Vertex shader of the programmable path: fixed-function transform, lighting and fog.
// Variant defines (set per pack slot from the light and fog state):
//   LIGHTING  0/1 the lighting state
//   LIGHT0, LIGHT1, LIGHT2  the kind of lights 0-2: 0 none, 1 point, 2 spot, 3 directional
//   FOG       the vertex fog mode: 0 none, 1 exp, 2 exp2, 3 linear
// Constants: c0 (0, 1, 0, 0); c1 ambient term (ambient x material ambient + emissive);
// c2-c5 projection and c6-c9 view, transposed; c10 fog (end / (end - start),
// -1 / (end - start), density, e); c11-c13 material diffuse, specular, (power, 0, 0, 0);
// light i from c14 + 7i: position and direction in view space, diffuse, specular,
// ambient x material ambient, (range^2, falloff, att0, att1), (att2, cos(phi / 2),
// 1 / (cos(theta / 2) - cos(phi / 2)), 0).
// Lighting runs per vertex in view space with a local viewer, as the fixed-function
// pipeline does, so both roads give the same colours. Positions are world positions.
vs_2_0
dcl_position v0
dcl_normal v1
dcl_color0 v2
dcl_color1 v3
dcl_texcoord0 v4
dcl_texcoord1 v5

// r0: the position in view space
dp4 r0.x, v0, c6
dp4 r0.y, v0, c7
dp4 r0.z, v0, c8
dp4 r0.w, v0, c9
dp4 oPos.x, r0, c2
dp4 oPos.y, r0, c3
dp4 oPos.z, r0, c4
dp4 oPos.w, r0, c5
mov oT0, v4
mov oT1, v5

#if LIGHTING
// r1: the normal in view space; r2: towards the eye, unit length
dp3 r1.x, v1, c6
dp3 r1.y, v1, c7
dp3 r1.z, v1, c8
dp3 r2.w, r0, r0
rsq r2.w, r2.w
mul r2.xyz, -r0, r2.w
// r3 diffuse, r4 specular, r5 ambient sums
mov r3, c0.x
mov r4, c0.x
mov r5, c0.x

#if LIGHT0
// light 0: r6 towards the light (unit), r7.w attenuation x spot factor
#if LIGHT0 == 3
mov r6.xyz, -c15
dp3 r6.w, r6, r6
rsq r6.w, r6.w
mul r6.xyz, r6, r6.w
mov r7.w, c0.y
#else
add r6.xyz, c14, -r0
dp3 r7.x, r6, r6
rsq r7.y, r7.x
mul r6.xyz, r6, r7.y
rcp r7.z, r7.y
mad r8.x, c19.w, r7.z, c19.z
mad r8.x, c20.x, r7.x, r8.x
rcp r7.w, r8.x
// beyond the range: no light
sge r8.y, c19.x, r7.x
mul r7.w, r7.w, r8.y
#if LIGHT0 == 2
// spot cone: ((rho - cos(phi / 2)) / (cos(theta / 2) - cos(phi / 2)))^falloff inside the
// outer cone, 0 outside (the base is moved to 1 there, so pow never sees 0)
dp3 r9.w, c15, c15
rsq r9.w, r9.w
mul r9.xyz, c15, r9.w
dp3 r8.x, -r6, r9
slt r8.w, c20.y, r8.x
add r8.y, r8.x, -c20.y
mul_sat r8.y, r8.y, c20.z
add r8.y, r8.y, c0.y
add r8.y, r8.y, -r8.w
pow r8.z, r8.y, c19.y
mul r8.z, r8.z, r8.w
mul r7.w, r7.w, r8.z
#endif
#endif
// lit: (1, max(N.L, 0), N.L > 0 and N.H > 0 ? N.H^power : 0, 1), H from the local viewer
dp3 r8.x, r1, r6
add r9.xyz, r6, r2
dp3 r9.w, r9, r9
rsq r9.w, r9.w
mul r9.xyz, r9, r9.w
dp3 r8.y, r1, r9
mov r8.w, c13.x
lit r8, r8
mul r8.yz, r8, r7.w
mad r3, c16, r8.y, r3
mad r4, c17, r8.z, r4
mad r5, c18, r7.w, r5
#endif

#if LIGHT1
// light 1: r6 towards the light (unit), r7.w attenuation x spot factor
#if LIGHT1 == 3
mov r6.xyz, -c22
dp3 r6.w, r6, r6
rsq r6.w, r6.w
mul r6.xyz, r6, r6.w
mov r7.w, c0.y
#else
add r6.xyz, c21, -r0
dp3 r7.x, r6, r6
rsq r7.y, r7.x
mul r6.xyz, r6, r7.y
rcp r7.z, r7.y
mad r8.x, c26.w, r7.z, c26.z
mad r8.x, c27.x, r7.x, r8.x
rcp r7.w, r8.x
// beyond the range: no light
sge r8.y, c26.x, r7.x
mul r7.w, r7.w, r8.y
#if LIGHT1 == 2
// spot cone: ((rho - cos(phi / 2)) / (cos(theta / 2) - cos(phi / 2)))^falloff inside the
// outer cone, 0 outside (the base is moved to 1 there, so pow never sees 0)
dp3 r9.w, c22, c22
rsq r9.w, r9.w
mul r9.xyz, c22, r9.w
dp3 r8.x, -r6, r9
slt r8.w, c27.y, r8.x
add r8.y, r8.x, -c27.y
mul_sat r8.y, r8.y, c27.z
add r8.y, r8.y, c0.y
add r8.y, r8.y, -r8.w
pow r8.z, r8.y, c26.y
mul r8.z, r8.z, r8.w
mul r7.w, r7.w, r8.z
#endif
#endif
// lit: (1, max(N.L, 0), N.L > 0 and N.H > 0 ? N.H^power : 0, 1), H from the local viewer
dp3 r8.x, r1, r6
add r9.xyz, r6, r2
dp3 r9.w, r9, r9
rsq r9.w, r9.w
mul r9.xyz, r9, r9.w
dp3 r8.y, r1, r9
mov r8.w, c13.x
lit r8, r8
mul r8.yz, r8, r7.w
mad r3, c23, r8.y, r3
mad r4, c24, r8.z, r4
mad r5, c25, r7.w, r5
#endif

#if LIGHT2
// light 2: r6 towards the light (unit), r7.w attenuation x spot factor
#if LIGHT2 == 3
mov r6.xyz, -c29
dp3 r6.w, r6, r6
rsq r6.w, r6.w
mul r6.xyz, r6, r6.w
mov r7.w, c0.y
#else
add r6.xyz, c28, -r0
dp3 r7.x, r6, r6
rsq r7.y, r7.x
mul r6.xyz, r6, r7.y
rcp r7.z, r7.y
mad r8.x, c33.w, r7.z, c33.z
mad r8.x, c34.x, r7.x, r8.x
rcp r7.w, r8.x
// beyond the range: no light
sge r8.y, c33.x, r7.x
mul r7.w, r7.w, r8.y
#if LIGHT2 == 2
// spot cone: ((rho - cos(phi / 2)) / (cos(theta / 2) - cos(phi / 2)))^falloff inside the
// outer cone, 0 outside (the base is moved to 1 there, so pow never sees 0)
dp3 r9.w, c29, c29
rsq r9.w, r9.w
mul r9.xyz, c29, r9.w
dp3 r8.x, -r6, r9
slt r8.w, c34.y, r8.x
add r8.y, r8.x, -c34.y
mul_sat r8.y, r8.y, c34.z
add r8.y, r8.y, c0.y
add r8.y, r8.y, -r8.w
pow r8.z, r8.y, c33.y
mul r8.z, r8.z, r8.w
mul r7.w, r7.w, r8.z
#endif
#endif
// lit: (1, max(N.L, 0), N.L > 0 and N.H > 0 ? N.H^power : 0, 1), H from the local viewer
dp3 r8.x, r1, r6
add r9.xyz, r6, r2
dp3 r9.w, r9, r9
rsq r9.w, r9.w
mul r9.xyz, r9, r9.w
dp3 r8.y, r1, r9
mov r8.w, c13.x
lit r8, r8
mul r8.yz, r8, r7.w
mad r3, c30, r8.y, r3
mad r4, c31, r8.z, r4
mad r5, c32, r7.w, r5
#endif

// colour 0: material diffuse x the lights' diffuse + the lights' ambient + the ambient term
mul r3, r3, c11
add r3, r3, r5
add_sat oD0.xyz, r3, c1
mov oD0.w, c11.w
mul_sat oD1.xyz, r4, c12
mov oD1.w, v3.w
#else
mov oD0, v2
mov oD1, v3
#endif

// fog factor from the depth in view space (r0.z); without a fog mode, the specular alpha
#if FOG == 3
mad r10.x, r0.z, c10.y, c10.x
mov oFog, r10.x
#elif FOG == 2
mul r10.x, r0.z, c10.z
mul r10.x, r10.x, r10.x
pow r10.x, c10.w, -r10.x
mov oFog, r10.x
#elif FOG == 1
mul r10.x, r0.z, c10.z
pow r10.x, c10.w, -r10.x
mov oFog, r10.x
#else
mov oFog, v3.w
#endif
