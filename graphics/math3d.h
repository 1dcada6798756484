#pragma once
// The engine's small geometric toolkit: vectors and 4 x 4 matrices in the Direct3D
// convention (row-major, a point is a row vector multiplied from the left, translation in
// the fourth row), and the projection, viewport and look-at matrices built from them.
#include <cstdint>

namespace quelt {

struct Vector3 {
  float x, y, z;
};
static_assert(sizeof(Vector3) == 12);

struct Matrix4 {
  float m[4][4];
};
static_assert(sizeof(Matrix4) == 64);

int SetIdentityMatrix(Matrix4* out);
// out may be a or b.
int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b);
int TransposeMatrix(Matrix4* out, const Matrix4* in);
// Cofactor expansion and one division by the determinant; callers pass invertible matrices.
int InvertMatrix(Matrix4* out, const Matrix4* in);
// -1 (out untouched) for a degenerate input. A negative aspect means the screen's own.
int MakePerspectiveMatrix(Matrix4* out, float fieldOfView, float nearZ, float farZ, float aspect);
int MakeOrthoMatrix(Matrix4* out, float size, float nearZ, float farZ, float aspect);
// Maps -1..1 onto the pixel rectangle of that centre and size, y pointing down.
int MakeViewportMatrix(Matrix4* out, float centreX, float centreY, float width, float height);
// Left-handed view matrix.
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up);
float DotVector(const Vector3* a, const Vector3* b);
int NormalizeVector(float x, float y, float z, Vector3* out);
// v x m with the translation row, no division by w.
Vector3* TransformVectorByMatrix(Vector3* out, const Vector3* v, const Matrix4* m);
// The same as a point, and without the translation row (a direction).
Vector3* TransformPoint(Vector3* out, const Vector3* v, const Matrix4* m);
Vector3* TransformNormal(Vector3* out, const Vector3* v, const Matrix4* m);

}  // namespace quelt
