#include "support/Pillow.h"

#include "support/TempDir.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Prints the width and height on a line, then the RGB bytes.
constexpr const char* kScript = "import sys\n"
                                "from PIL import Image\n"
                                "im = Image.open(sys.argv[1]).convert('RGB')\n"
                                "sys.stdout.buffer.write(b'%d %d\\n' % im.size + im.tobytes())\n";

} // namespace

TPillowPicture DecodeWithPillow(const std::vector<uint8_t>& file, const std::string& suffix)
{
    TTempDir dir;
    const std::string input = dir.Path("input" + suffix);
    const std::string script = dir.Path("decode.py");
    const std::string output = dir.Path("output");
    WriteFileBytes(input, file);
    WriteFileBytes(
        script, std::vector<uint8_t>(kScript, kScript + std::char_traits<char>::length(kScript)));
    const std::string command = std::string(KAPTO_PILLOW_PYTHON) + " '" + script + "' '" + input +
                                "' >'" + output + "' 2>/dev/null";
    TPillowPicture picture;
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        picture.Error = "Pillow could not decode the file (is python3-pil installed?)";
        return picture;
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(output);
    size_t at = 0;
    std::string line;
    while (at < bytes.size() && bytes[at] != '\n') {
        line += char(bytes[at++]);
    }
    if (at == bytes.size() ||
        std::sscanf(line.c_str(), "%u %u", &picture.Width, &picture.Height) != 2) {
        picture.Error = "Pillow printed no size";
        return picture;
    }
    picture.Rgb.assign(bytes.begin() + std::ptrdiff_t(at) + 1, bytes.end());
    return picture;
}
