// Image tags and list captions.
#include "composer/attachments.h"

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace composer {

std::string ImageTag(int n) { return "<IMG ALT=\"\" SRC=\"cid:IMAGE" + rtl::IntToStr(n) + "\">"; }

std::string RemoveImageTag(std::string_view body, int r, int count) {
    std::string text = helpers::replaceall(body, ImageTag(r), "", true);
    for (int i = r + 1; i <= count; ++i) text = helpers::replaceall(text, ImageTag(i), ImageTag(i - 1), true);
    return text;
}

std::string RemoveAllImageTags(std::string_view body, int count) {
    std::string text(body);
    for (int n = 1; n <= count; ++n) text = helpers::replaceall(text, ImageTag(n), "", true);
    return text;
}

std::string ListCaption(std::string_view title, const std::vector<std::string>& paths) {
    int64_t total = 0;
    for (const std::string& p : paths) {
        const int64_t size = helpers::filesize64(p);
        if (size > 0) total += size;
    }
    return std::string(title) + " (" + helpers::numsep(static_cast<int64_t>(paths.size())) +
           " Items / Size=" + helpers::numsep(total) + ") :-";
}

}  // namespace composer
