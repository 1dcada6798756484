#include "graphics/math3d.h"

#include <cmath>
#include <cstring>

#include "graphics/screen_mode.h"

namespace quelt {

namespace {

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 Normalised(const Vector3& v) {
  Vector3 out;
  NormalizeVector(v.x, v.y, v.z, &out);
  return out;
}

float ScreenAspect() {
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  return static_cast<float>(height) / static_cast<float>(width);
}

}  // namespace

int SetIdentityMatrix(Matrix4* out) {
  *out = Matrix4{};
  for (int i = 0; i < 4; ++i) out->m[i][i] = 1.0f;
  return 0;
}

int MultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b) {
  Matrix4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                  a->m[i][3] * b->m[3][j];
  *out = r;
  return 0;
}

int TransposeMatrix(Matrix4* out, const Matrix4* in) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = in->m[j][i];
  *out = r;
  return 0;
}

namespace {
// Determinant of the 3 x 3 minor that leaves out row `row` and column `col`.
float Minor(const Matrix4& a, int row, int col) {
  float s[3][3];
  for (int i = 0, si = 0; i < 4; ++i) {
    if (i == row) continue;
    for (int j = 0, sj = 0; j < 4; ++j) {
      if (j == col) continue;
      s[si][sj++] = a.m[i][j];
    }
    ++si;
  }
  return s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
         s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
         s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
}
}  // namespace

int InvertMatrix(Matrix4* out, const Matrix4* in) {
  Matrix4 cofactor;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      cofactor.m[i][j] = ((i + j) % 2 == 0 ? 1.0f : -1.0f) * Minor(*in, i, j);
  float det = 0.0f;
  for (int j = 0; j < 4; ++j) det += in->m[0][j] * cofactor.m[0][j];
  const float inv = 1.0f / det;
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = cofactor.m[j][i] * inv;
  *out = r;
  return 0;
}

int MakePerspectiveMatrix(Matrix4* out, float fieldOfView, float nearZ, float farZ, float aspect) {
  if (aspect < 0.0f) aspect = ScreenAspect();
  const float sine = std::sin(fieldOfView * 0.5f);
  const float cosine = std::cos(fieldOfView * 0.5f);
  if (std::fabs(farZ - nearZ) < 0.0001f || std::fabs(sine) < 0.0001f) return -1;
  const float c = cosine / sine;
  Matrix4 r{};
  r.m[0][0] = c * aspect;
  r.m[1][1] = c;
  r.m[2][2] = farZ / (farZ - nearZ);
  r.m[2][3] = 1.0f;
  r.m[3][2] = -(r.m[2][2] * nearZ);
  r.m[3][3] = 0.0f;
  *out = r;
  return 0;
}

int MakeOrthoMatrix(Matrix4* out, float size, float nearZ, float farZ, float aspect) {
  if (aspect < 0.0f) aspect = ScreenAspect();
  if (std::fabs(nearZ - farZ) < 0.0001f) return -1;
  Matrix4 r{};
  r.m[0][0] = 2.0f / (size / aspect);
  r.m[1][1] = 2.0f / size;
  r.m[2][2] = 1.0f / (farZ - nearZ);
  r.m[3][2] = nearZ / (nearZ - farZ);
  r.m[3][3] = 1.0f;
  *out = r;
  return 0;
}

int MakeViewportMatrix(Matrix4* out, float centreX, float centreY, float width, float height) {
  Matrix4 r{};
  r.m[0][0] = width * 0.5f;
  r.m[1][1] = height * -0.5f;
  r.m[2][2] = 1.0f;
  r.m[3][0] = centreX;
  r.m[3][1] = centreY;
  r.m[3][3] = 1.0f;
  *out = r;
  return 0;
}

int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up) {
  const Vector3 d{target->x - eye->x, target->y - eye->y, target->z - eye->z};
  const Vector3 side = Cross(*up, d);
  const Vector3 r = Normalised(side);
  const Vector3 u = Normalised(Cross(d, side));
  const Vector3 z = Normalised(d);
  Matrix4 m{};
  m.m[0][0] = r.x;
  m.m[1][0] = r.y;
  m.m[2][0] = r.z;
  m.m[0][1] = u.x;
  m.m[1][1] = u.y;
  m.m[2][1] = u.z;
  m.m[0][2] = z.x;
  m.m[1][2] = z.y;
  m.m[2][2] = z.z;
  m.m[3][0] = -DotVector(&r, eye);
  m.m[3][1] = -DotVector(&u, eye);
  m.m[3][2] = -DotVector(&z, eye);
  m.m[3][3] = 1.0f;
  *out = m;
  return 0;
}

float DotVector(const Vector3* a, const Vector3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

int NormalizeVector(float x, float y, float z, Vector3* out) {
  const float length = std::sqrt(x * x + y * y + z * z);
  *out = {x / length, y / length, z / length};
  return 0;
}

Vector3* TransformVectorByMatrix(Vector3* out, const Vector3* v, const Matrix4* m) {
  return TransformPoint(out, v, m);
}

Vector3* TransformPoint(Vector3* out, const Vector3* v, const Matrix4* m) {
  const Vector3 in = *v;
  out->x = in.x * m->m[0][0] + in.y * m->m[1][0] + in.z * m->m[2][0] + m->m[3][0];
  out->y = in.x * m->m[0][1] + in.y * m->m[1][1] + in.z * m->m[2][1] + m->m[3][1];
  out->z = in.x * m->m[0][2] + in.y * m->m[1][2] + in.z * m->m[2][2] + m->m[3][2];
  return out;
}

Vector3* TransformNormal(Vector3* out, const Vector3* v, const Matrix4* m) {
  const Vector3 in = *v;
  out->x = in.x * m->m[0][0] + in.y * m->m[1][0] + in.z * m->m[2][0];
  out->y = in.x * m->m[0][1] + in.y * m->m[1][1] + in.z * m->m[2][1];
  out->z = in.x * m->m[0][2] + in.y * m->m[1][2] + in.z * m->m[2][2];
  return out;
}

}  // namespace quelt
