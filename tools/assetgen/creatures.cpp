#include "assetgen/creatures.h"

namespace yulo::assetgen {

namespace {

bool WriteCharacter(OutputFolder& out, const std::string& name, const SkinFileData& skin,
                    const Image& texture) {
  const std::string skinName = name + ".skn", textureName = name + ".tga";
  return out.Write("Data/" + skinName, EncodeSkinFile(skin)) &&
         out.Write("Data/" + textureName, EncodeTga(texture, false)) &&
         out.Write("Data/" + name + ".chr", EncodeCharacterFile(skinName, textureName));
}

}  // namespace

bool WriteCreatures(OutputFolder& out) {
  using namespace creatures;
  const Skeleton deer = BuildReindeerSkeleton();
  if (!WriteCharacter(out, "deer", BuildReindeerSkin(deer), BuildReindeerTexture()) ||
      !out.Write("Data/deer.anm", EncodeClipFile(BuildGallopClip(deer)))) {
    return false;
  }
  const Skeleton driver = BuildDriverSkeleton();
  return WriteCharacter(out, "yulo", BuildDriverSkin(driver), BuildDriverTexture()) &&
         out.Write("Data/yulo.anm", EncodeClipFile(BuildDriverBaseClip(driver))) &&
         out.Write("Data/yulo_mah.anm", EncodeClipFile(BuildDriverWaveClip(driver)));
}

}  // namespace yulo::assetgen
