// The portable parts of the window: the shadow's rings, the skin the
// program carries and the PNG decoding of it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "boot/boot_names.h"
#include "ui/png_image.h"
#include "ui/shadow.h"
#include "ui/skin.h"

namespace {

using namespace mv::ui;

TEST(ShadowRings, StepDependsOnTheSizeAndIsTruncated) {
  EXPECT_EQ(ShadowStep(5), 20);
  EXPECT_EQ(ShadowStep(8), 12);   // 100 / 8
  EXPECT_EQ(ShadowStep(9), 16);   // 150 / 9
  EXPECT_EQ(ShadowStep(1), 100);
  EXPECT_EQ(ShadowStep(0), 0);
  EXPECT_EQ(ShadowStep(-3), 0);
}

TEST(ShadowRings, SizeFiveGoesFromFaintOutsideToStrongInside) {
  auto rings = ShadowRings(110, 90, 5, 0);
  ASSERT_EQ(rings.size(), 5u);
  const int alphas[5] = {20, 40, 60, 80, 100};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rings[i].alpha, alphas[i]);
    EXPECT_EQ(rings[i].argb, static_cast<uint32_t>(alphas[i]) << 24);  // black
    // Left and top i - 1, width W - 2i + 1 (ring i counted from 1).
    EXPECT_FLOAT_EQ(rings[i].x, static_cast<float>(i));
    EXPECT_FLOAT_EQ(rings[i].y, static_cast<float>(i));
    EXPECT_FLOAT_EQ(rings[i].w, static_cast<float>(110 - 2 * (i + 1) + 1));
    EXPECT_FLOAT_EQ(rings[i].h, static_cast<float>(90 - 2 * (i + 1) + 1));
  }
  // Larger sizes keep every alpha within a byte.
  for (int size : {8, 9, 20}) {
    auto big = ShadowRings(200, 200, size, 0);
    EXPECT_EQ(big.back().alpha, ShadowStep(size) * size);
    EXPECT_LE(big.back().alpha, 255);
  }
}

TEST(ShadowRings, ColourrefBecomesArgbWithRedAndBlueSwapped) {
  // COLORREF 0x00BBGGRR = blue 0x30, green 0x20, red 0x10.
  EXPECT_EQ(ShadowArgb(0x00302010u, 20), 0x14102030u);
  EXPECT_EQ(ShadowArgb(0x00FFFFFFu, 300), 0xFFFFFFFFu);  // alpha clamped
}

TEST(ShadowRings, RoundedOutlineHasFourCornerArcsInOrder) {
  auto arcs = RoundedRectArcs(1, 2, 100, 50, 4);
  ASSERT_EQ(arcs.size(), 4u);
  const float starts[4] = {180, 270, 0, 90};
  const float xs[4] = {1, 93, 93, 1}, ys[4] = {2, 2, 44, 44};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(arcs[i].start, starts[i]);
    EXPECT_FLOAT_EQ(arcs[i].sweep, 90);
    EXPECT_FLOAT_EQ(arcs[i].d, 8);
    EXPECT_FLOAT_EQ(arcs[i].x, xs[i]);
    EXPECT_FLOAT_EQ(arcs[i].y, ys[i]);
  }
  EXPECT_TRUE(RoundedRectArcs(0, 0, 10, 10, 0).empty());  // plain rectangle
  EXPECT_FLOAT_EQ(RoundedRectArcs(0, 0, 500, 500, 400)[0].d, 200);  // radius clamped to 100
}

TEST(ShadowRings, ShadowBoxIsLargerOnEverySide) {
  Box b = ShadowBox(Box{100, 50, 980, 650}, 5);
  EXPECT_EQ(b.left, 95);
  EXPECT_EQ(b.top, 45);
  EXPECT_EQ(b.right, 985);
  EXPECT_EQ(b.bottom, 655);
}

TEST(Skin, EveryImageTheRestartHandOffNamesIsCarriedAndDecodes) {
  std::vector<std::string> names;
  for (const char* n : mv::names::kRestartNowImages) names.push_back(n);
  for (const char* n : mv::names::kRestartLaterImages) names.push_back(n);
  names.push_back(mv::names::kStepDoneImage);
  for (int i = 0; i < 5; ++i) {
    names.push_back("step" + std::to_string(i) + "_normal");
    names.push_back("step" + std::to_string(i) + "_high");
  }
  for (const std::string& base : {"next", "back", "nav_reinstall", "nav_backup", "nav_software", "nav_toolbox",
                                  "nav_data", "plain", "primary", "tab", "title_menu", "title_min"})
    for (const char* look : {"_normal", "_hover", "_down", "_disabled"}) names.push_back(base + look);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    PixelImage image;
    ASSERT_TRUE(DecodePng(SkinImageBytes(name), &image));
    EXPECT_GT(image.width, 0);
    EXPECT_EQ(image.pixels.size(), static_cast<size_t>(image.width) * image.height);
  }
}

TEST(Skin, LooksOfOneButtonHaveOneSize) {
  for (const std::string& base : {"next", "back", "nav_toolbox", "restart_now", "restart_later"}) {
    SCOPED_TRACE(base);
    PixelImage normal, down;
    ASSERT_TRUE(DecodePng(SkinImageBytes(base + "_normal"), &normal));
    ASSERT_TRUE(DecodePng(SkinImageBytes(base + "_down"), &down));
    EXPECT_EQ(normal.width, down.width);
    EXPECT_EQ(normal.height, down.height);
  }
}

TEST(Skin, RestartSetsDifferFromTheWizardButtonsByteForByte) {
  // The restart roles are recognised by comparing image bytes: the sets must
  // differ from the ordinary looks, and each image matches itself.
  EXPECT_TRUE(SameSkinImage("restart_now_normal", "restart_now_normal"));
  EXPECT_FALSE(SameSkinImage("next_normal", "restart_now_normal"));
  EXPECT_FALSE(SameSkinImage("back_normal", "restart_later_normal"));
  EXPECT_FALSE(SameSkinImage("restart_now_normal", "restart_later_normal"));
  // A missing image matches nothing, not even another missing one.
  EXPECT_FALSE(SameSkinImage("no_such_image", "no_such_image"));
  EXPECT_TRUE(SkinImageBytes("no_such_image").empty());
  // All carried images are distinct pictures under distinct names.
  std::set<std::string> seen;
  for (const std::string& n : SkinImageNames()) EXPECT_TRUE(seen.insert(n).second) << n;
  EXPECT_GT(seen.size(), 60u);
}

TEST(Png, PixelsArePremultiplied) {
  // The forum button's normal look is transparent with a white outline and
  // white text: no pixel may have a colour channel above its alpha.
  PixelImage image;
  ASSERT_TRUE(DecodePng(SkinImageBytes("forum_normal"), &image));
  bool some_partial = false, some_clear = false;
  for (uint32_t p : image.pixels) {
    uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    ASSERT_LE(r, a);
    ASSERT_LE(g, a);
    ASSERT_LE(b, a);
    some_partial = some_partial || (a > 0 && a < 255);
    some_clear = some_clear || a == 0;
  }
  EXPECT_TRUE(some_partial);
  EXPECT_TRUE(some_clear);
}

TEST(Png, ColoursComeOutAsDrawn) {
  // The next button is filled with the window's blue; its corner is clear.
  PixelImage image;
  ASSERT_TRUE(DecodePng(SkinImageBytes("next_normal"), &image));
  EXPECT_EQ(image.pixels[20 * image.width + 8], 0xFF1E6FD9u);
  EXPECT_EQ(image.pixels[0] >> 24, 0u);
}

TEST(Png, DamagedOrForeignBytesAreRefused) {
  const std::string good = SkinImageBytes("check_on");
  ASSERT_FALSE(good.empty());
  PixelImage image;
  image.width = 7;
  EXPECT_FALSE(DecodePng("", &image));
  EXPECT_FALSE(DecodePng("GIF89a not a png at all", &image));
  EXPECT_FALSE(DecodePng(good.substr(0, good.size() / 2), &image));  // cut short
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x55;  // a bit error inside the image data
  EXPECT_FALSE(DecodePng(flipped, &image));
  EXPECT_EQ(image.width, 7);  // left untouched
  EXPECT_TRUE(DecodePng(good, &image));
  EXPECT_EQ(image.width, 16);
}

TEST(Png, HugeDeclaredSizeIsRefusedBeforeAllocating) {
  // A valid signature and IHDR claiming 100000 x 100000 pixels.
  std::string png("\x89PNG\r\n\x1a\n", 8);
  const unsigned char ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 6, 0, 0, 0};
  png.append(reinterpret_cast<const char*>(ihdr), sizeof ihdr);
  png.append("\0\0\0\0", 4);  // CRC (wrong, which libpng may also reject)
  PixelImage image;
  EXPECT_FALSE(DecodePng(png, &image));
}

}  // namespace
