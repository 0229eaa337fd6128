#pragma once
// Attachments and inserted images: the body names the n-th image of the
// image list (from 1) by its tag; removing an image renumbers the later ones.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace composer {

// "<IMG ALT=\"\" SRC=\"cid:IMAGE" + n + "\">".
std::string ImageTag(int n);
// The body without the tags of image R (from 1) and with the tags of the
// images after it, up to Count, renumbered one down.
std::string RemoveImageTag(std::string_view body, int r, int count);
// The body without the tags of images 1 to Count.
std::string RemoveAllImageTags(std::string_view body, int count);
// The caption of a list: Title + " (" + rows + " Items / Size=" + total + ") :-".
std::string ListCaption(std::string_view title, const std::vector<std::string>& paths);

}  // namespace composer
