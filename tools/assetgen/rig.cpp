#include "rig.h"

#include <algorithm>
#include <cmath>

#include "math/quaternion.h"
#include "models/mesh_vertex.h"

namespace yulo::assetgen::creatures {

namespace {

constexpr float kTwoPi = 6.28318530717959f;
constexpr float kHalfPi = 1.57079632679490f;
// Keeps a vertex lying on a bone's segment from taking all the weight at once, so the
// blend across a joint stays soft.
constexpr float kWeightSoftening = 0.6f;

float DistanceToSegment(Vector3 p, Vector3 a, Vector3 b) {
  const Vector3 ab = b - a;
  const float len2 = DotOf(ab, ab);
  float t = len2 > 0.0f ? DotOf(p - a, ab) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  return LengthOf(p - (a + Scaled(ab, t)));
}

}  // namespace

Vector3 Scaled(Vector3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
float DotOf(Vector3 a, Vector3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
float LengthOf(Vector3 a) {
  return std::sqrt(DotOf(a, a));
}
Vector3 UnitOf(Vector3 a) {
  const float len = LengthOf(a);
  return len > 0.0f ? Scaled(a, 1.0f / len) : a;
}
Vector3 Mid(Vector3 a, Vector3 b, float t) {
  return a + Scaled(b - a, t);
}

// >>section skeleton

int Skeleton::AddBone(const char* name, int parent, Vector3 head) {
  Bone bone;
  bone.name = name;
  bone.parent = parent;
  bone.head = head;
  const int index = count();
  if (parent >= 0) bones_[size_t(parent)].children.push_back(index);
  bones_.push_back(bone);
  return index;
}

void Skeleton::SetTail(int bone, Vector3 tail) {
  bones_[size_t(bone)].hasTail = true;
  bones_[size_t(bone)].tail = tail;
}

int Skeleton::Find(const char* name) const {
  for (int b = 0; b < count(); ++b) {
    if (bones_[size_t(b)].name == name) return b;
  }
  return -1;
}

Vector3 Skeleton::Tail(int bone) const {
  const Bone& b = bones_[size_t(bone)];
  if (b.hasTail) return b.tail;
  if (!b.children.empty()) return bones_[size_t(b.children.front())].head;
  return b.head;
}

void Skeleton::Fill(SkinFileData* skin) const {
  skin->boneOffsets.clear();
  skin->bones.clear();
  for (const Bone& b : bones_) {
    skin->boneOffsets.push_back(b.parent < 0 ? b.head : b.head - bones_[size_t(b.parent)].head);
    BoneRecord record = MakeBone(b.name.c_str(), {});
    record.childCount = static_cast<int32_t>(b.children.size());
    for (size_t i = 0; i < b.children.size() && i < kMaxBoneChildren; ++i) {
      record.children[i] = b.children[i];
    }
    skin->bones.push_back(record);
  }
}

// >>section skin

int SkinBuilder::AddVertex(Vector3 p) {
  // The nearest segments among the allowed bones, weighted by inverse distance.
  struct Candidate {
    int bone;
    float weight;
  };
  std::vector<Candidate> candidates;
  for (int b : bones_) {
    const float d = DistanceToSegment(p, skeleton_.Head(b), skeleton_.Tail(b));
    candidates.push_back({b, std::pow(1.0f / (d + kWeightSoftening), falloff_)});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.weight > b.weight; });
  if (candidates.size() > size_t(kSkinInfluences)) candidates.resize(kSkinInfluences);
  float total = 0.0f;
  for (const Candidate& c : candidates) total += c.weight;
  SkinVertex vertex = MakeSkinVertex({});
  float used = 0.0f;
  for (size_t i = 0; i < candidates.size(); ++i) {
    SkinInfluence& influence = vertex.influences[i];
    // The last weight takes the rounding remainder, so the three sum to exactly 1.
    influence.weight = i + 1 == candidates.size() ? 1.0f - used : candidates[i].weight / total;
    used += influence.weight;
    influence.bone = candidates[i].bone;
    influence.position = p;
  }
  positions_.push_back(p);
  weights_.push_back(vertex);
  return static_cast<int>(positions_.size()) - 1;
}

void SkinBuilder::AddFace(int a, int b, int c, Vector2 ta, Vector2 tb, Vector2 tc,
                          Vector3 outward) {
  const Vector3 pa = positions_[size_t(a)], pb = positions_[size_t(b)], pc = positions_[size_t(c)];
  const Vector3 n = (pb - pa).Cross(pc - pa);
  if (DotOf(n, outward) < 0.0f) {
    std::swap(b, c);
    std::swap(tb, tc);
  }
  corners_.insert(corners_.end(), {a, b, c});
  texCoords_.insert(texCoords_.end(), {ta, tb, tc});
}

void SkinBuilder::Ellipsoid(Vector3 centre, Vector3 axis, Vector3 side1, Vector3 side2, int slices,
                            int stacks, AtlasRect uv) {
  const auto point = [&](int stack, int slice) {
    const float theta = 3.14159265358979f * static_cast<float>(stack) / static_cast<float>(stacks);
    const float phi = kTwoPi * static_cast<float>(slice) / static_cast<float>(slices);
    return centre + Scaled(axis, std::cos(theta)) +
           Scaled(Scaled(side1, std::cos(phi)) + Scaled(side2, std::sin(phi)), std::sin(theta));
  };
  const int top = AddVertex(point(0, 0));
  std::vector<int> ring(size_t(stacks + 1) * size_t(slices));
  for (int st = 1; st < stacks; ++st) {
    for (int sl = 0; sl < slices; ++sl)
      ring[size_t(st) * size_t(slices) + size_t(sl)] = AddVertex(point(st, sl));
  }
  const int bottom = AddVertex(point(stacks, 0));
  // The seam column reuses the first column's vertices with u = 1, so normals stay smooth.
  const auto index = [&](int st, int sl) {
    if (st == 0) return top;
    if (st == stacks) return bottom;
    return ring[size_t(st) * size_t(slices) + size_t(sl % slices)];
  };
  const auto tex = [&](int st, float sl) {
    return uv.At(sl / static_cast<float>(slices),
                 static_cast<float>(st) / static_cast<float>(stacks));
  };
  for (int st = 0; st < stacks; ++st) {
    for (int sl = 0; sl < slices; ++sl) {
      const int a = index(st, sl), b = index(st, sl + 1);
      const int c = index(st + 1, sl + 1), d = index(st + 1, sl);
      const Vector3 out = Scaled(point(st, sl) + point(st + 1, sl + 1), 0.5f) - centre;
      const float fs = static_cast<float>(sl);
      if (st == 0) {
        AddFace(a, c, d, tex(st, fs + 0.5f), tex(st + 1, fs + 1), tex(st + 1, fs), out);
      } else if (st == stacks - 1) {
        AddFace(a, b, c, tex(st, fs), tex(st, fs + 1), tex(st + 1, fs + 0.5f), out);
      } else {
        AddFace(a, b, c, tex(st, fs), tex(st, fs + 1), tex(st + 1, fs + 1), out);
        AddFace(a, c, d, tex(st, fs), tex(st + 1, fs + 1), tex(st + 1, fs), out);
      }
    }
  }
}

void SkinBuilder::Tube(const std::vector<Vector3>& path, const std::vector<float>& radii, int sides,
                       AtlasRect uv, Vector3 across, float flatten, bool capped) {
  const size_t n = path.size();
  // Rings along the path, plus rounded caps: two shrinking rings and a tip at each end.
  struct Ring {
    Vector3 centre;
    Vector3 tangent;
    float radius;
    float v;
    bool tip;
  };
  std::vector<float> along(n, 0.0f);
  for (size_t i = 1; i < n; ++i) along[i] = along[i - 1] + LengthOf(path[i] - path[i - 1]);
  const float length = along.back() > 0.0f ? along.back() : 1.0f;
  std::vector<Ring> rings;
  const auto tangentAt = [&](size_t i) {
    return UnitOf(path[std::min(i + 1, n - 1)] - path[i > 0 ? i - 1 : 0]);
  };
  constexpr int kCapRings = 2;
  constexpr float kCapV = 0.04f;  // share of the texture each cap takes
  const float bodyV0 = capped ? kCapV : 0.0f, bodyV1 = capped ? 1.0f - kCapV : 1.0f;
  if (capped) {
    for (int k = kCapRings; k >= 1; --k) {
      const float angle = kHalfPi * static_cast<float>(k) / (kCapRings + 1);
      const Vector3 t = tangentAt(0);
      rings.push_back({path[0] - Scaled(t, radii[0] * std::sin(angle) * 0.8f), t,
                       radii[0] * std::cos(angle),
                       kCapV * (1.0f - static_cast<float>(k) / (kCapRings + 1)), false});
    }
    rings.insert(rings.begin(),
                 {path[0] - Scaled(tangentAt(0), radii[0] * 0.8f), tangentAt(0), 0.0f, 0.0f, true});
  }
  for (size_t i = 0; i < n; ++i) {
    rings.push_back(
        {path[i], tangentAt(i), radii[i], bodyV0 + (bodyV1 - bodyV0) * along[i] / length, false});
  }
  if (capped) {
    const Vector3 t = tangentAt(n - 1);
    for (int k = 1; k <= kCapRings; ++k) {
      const float angle = kHalfPi * static_cast<float>(k) / (kCapRings + 1);
      rings.push_back({path[n - 1] + Scaled(t, radii[n - 1] * std::sin(angle) * 0.8f), t,
                       radii[n - 1] * std::cos(angle),
                       1.0f - kCapV * (1.0f - static_cast<float>(k) / (kCapRings + 1)), false});
    }
    rings.push_back({path[n - 1] + Scaled(t, radii[n - 1] * 0.8f), t, 0.0f, 1.0f, true});
  }

  std::vector<std::vector<int>> index(rings.size());
  std::vector<std::vector<Vector3>> outward(rings.size());
  for (size_t r = 0; r < rings.size(); ++r) {
    const Ring& ring = rings[r];
    Vector3 normal = UnitOf(across - Scaled(ring.tangent, DotOf(across, ring.tangent)));
    if (LengthOf(normal) < 0.5f) normal = UnitOf(ring.tangent.Cross(Vector3(1, 0, 0)));
    const Vector3 binormal = ring.tangent.Cross(normal);
    if (ring.tip) {
      index[r].assign(size_t(sides), AddVertex(ring.centre));
      outward[r].assign(size_t(sides), Scaled(ring.tangent, r == 0 ? -1.0f : 1.0f));
      continue;
    }
    for (int s = 0; s < sides; ++s) {
      const float phi = kTwoPi * static_cast<float>(s) / static_cast<float>(sides);
      const Vector3 dir = Scaled(normal, std::cos(phi) * flatten) + Scaled(binormal, std::sin(phi));
      index[r].push_back(AddVertex(ring.centre + Scaled(dir, ring.radius)));
      outward[r].push_back(dir);
    }
  }
  for (size_t r = 0; r + 1 < rings.size(); ++r) {
    for (int s = 0; s < sides; ++s) {
      const int s1 = (s + 1) % sides;
      const float u0 = static_cast<float>(s) / static_cast<float>(sides);
      const float u1 = static_cast<float>(s + 1) / static_cast<float>(sides);
      const Vector2 ta = uv.At(u0, rings[r].v), tb = uv.At(u1, rings[r].v);
      const Vector2 tc = uv.At(u1, rings[r + 1].v), td = uv.At(u0, rings[r + 1].v);
      const int a = index[r][size_t(s)], b = index[r][size_t(s1)];
      const int c = index[r + 1][size_t(s1)], d = index[r + 1][size_t(s)];
      const Vector3 out = outward[r][size_t(s)] + outward[r + 1][size_t(s1)];
      if (!rings[r].tip) AddFace(a, b, c, ta, tb, tc, out);
      if (!rings[r + 1].tip) AddFace(a, c, d, ta, tc, td, out);
    }
  }
}

SkinFileData SkinBuilder::ToSkinFile() const {
  SkinFileData skin;
  skeleton_.Fill(&skin);
  skin.vertices = weights_;
  for (SkinVertex& v : skin.vertices) {
    for (SkinInfluence& influence : v.influences) {
      if (influence.weight != 0.0f)
        influence.position = influence.position - skeleton_.Head(influence.bone);
    }
  }
  skin.corners = corners_;
  skin.texCoords.reserve(texCoords_.size());
  for (const Vector2& t : texCoords_) skin.texCoords.push_back({t.x, 1.0f - t.y});  // stored v up
  return skin;
}

// >>section clips

std::vector<Vector3> PoseBones(const Skeleton& skeleton, const ClipPose& pose,
                               std::vector<Matrix4>* rotations) {
  const int count = skeleton.count();
  std::vector<Matrix4> rotation(static_cast<size_t>(count));
  std::vector<Vector3> position(static_cast<size_t>(count));
  // Parents come before their children, so one pass in index order poses the tree.
  for (int b = 0; b < count; ++b) {
    const Vector3 a = pose.angles[size_t(b)];
    Matrix4 local;
    QuaternionFromEuler(a.x, a.y, a.z).ToMatrix(local);
    const int parent = skeleton.Parent(b);
    if (parent < 0) {
      rotation[size_t(b)] = local;
      position[size_t(b)] = pose.root;
    } else {
      rotation[size_t(b)] = rotation[size_t(parent)] * local;  // the bone's own turn first
      position[size_t(b)] =
          (skeleton.Head(b) - skeleton.Head(parent)).Transform(rotation[size_t(parent)]) +
          position[size_t(parent)];
    }
  }
  if (rotations) *rotations = rotation;
  return position;
}

Vector3 EulerFromMatrix(const Matrix4& m) {
  const float sy = std::clamp(-m.m[0][2], -1.0f, 1.0f);
  return {std::atan2(m.m[1][2], m.m[2][2]), std::asin(sy), std::atan2(m.m[0][1], m.m[0][0])};
}

Vector3 AimAngles(Vector3 rest, Vector3 target, const Matrix4& parentRotation) {
  // The target in the parent's frame: a row vector times the transposed rotation.
  const Matrix4& p = parentRotation;
  const Vector3 local = UnitOf({DotOf(target, {p.m[0][0], p.m[0][1], p.m[0][2]}),
                                DotOf(target, {p.m[1][0], p.m[1][1], p.m[1][2]}),
                                DotOf(target, {p.m[2][0], p.m[2][1], p.m[2][2]})});
  const Vector3 from = UnitOf(rest);
  Vector3 axis = from.Cross(local);
  float sine = LengthOf(axis);
  float angle = std::atan2(sine, DotOf(from, local));
  if (sine < 1e-6f) {
    if (DotOf(from, local) > 0.0f) return {0, 0, 0};
    // Pointing straight back: half a turn about any axis across the bone.
    axis = from.Cross(std::fabs(from.x) < 0.9f ? Vector3(1, 0, 0) : Vector3(0, 1, 0));
    sine = LengthOf(axis);
    angle = 3.14159265358979f;
  }
  const Vector3 a = Scaled(axis, std::sin(0.5f * angle) / sine);
  Matrix4 turn;
  Quaternion(a.x, a.y, a.z, std::cos(0.5f * angle)).ToMatrix(turn);
  return EulerFromMatrix(turn);
}

Vector3 PosedTail(const Skeleton& skeleton, int bone, const std::vector<Vector3>& positions,
                  const std::vector<Matrix4>& rotations) {
  return (skeleton.Tail(bone) - skeleton.Head(bone)).Transform(rotations[size_t(bone)]) +
         positions[size_t(bone)];
}

ClipFileData SampleClip(const Skeleton& skeleton, int frameCount, int frameDuration,
                        const std::function<void(float phase, ClipPose* pose)>& posing) {
  ClipFileData clip;
  clip.boneCount = skeleton.count();
  clip.frameDuration = frameDuration;
  clip.angles.assign(size_t(clip.boneCount) * size_t(frameCount), Vector3(0, 0, 0));
  for (int f = 0; f < frameCount; ++f) {
    ClipPose pose;
    pose.angles.assign(size_t(clip.boneCount), Vector3(0, 0, 0));
    pose.root = skeleton.Head(0);
    posing(static_cast<float>(f) / static_cast<float>(frameCount), &pose);
    clip.rootPositions.push_back(pose.root);
    for (int b = 0; b < clip.boneCount; ++b) {
      clip.angles[size_t(b) * size_t(frameCount) + size_t(f)] = pose.angles[size_t(b)];
    }
  }
  return clip;
}

}  // namespace yulo::assetgen::creatures
