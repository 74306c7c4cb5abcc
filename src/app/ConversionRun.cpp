#include "app/ConversionRun.h"

#include "app/FileNames.h"
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

#include <memory>

namespace kapto {

std::string TargetExtension(TTargetFormat format)
{
    return format == TTargetFormat::Png ? ".png" : ".bmp";
}

std::string FirstFreeNumberedName(const std::string& outputName)
{
    // Only the last two digits are kept, so there are exactly 100 distinct names.
    for (int n = 1; n <= 100; ++n) {
        const std::string name = NumberedFileName(outputName, n);
        if (!FileExists(name)) {
            return name;
        }
    }
    throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}));
}

namespace {

enum class TRemembered
{
    None,
    Overwrite,
    Rename,
    Skip
};

} // namespace

TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress)
{
    TRunSummary summary;
    int position = 0;
    progress.SetPosition(0);
    progress.SetMaximum(int(files.size()));
    bool applyToRest = false;
    TRemembered remembered = TRemembered::None;
    const std::string extension = TargetExtension(format);

    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& source = files[i];
        progress.FileStarted(int(i), source);
        // Every file starts from a new, empty bitmap, so nothing of the previous file (its
        // pixels, its transparent colour) can reach this file's output.
        TBitmap bitmap;
        LoadSource(source, bitmap);
        const std::string outputName = OutputFileName(source, extension);

        TRemembered action = TRemembered::Overwrite;
        if (FileExists(outputName)) {
            if (applyToRest) {
                action = remembered;
            } else {
                const TOverwriteAnswer answer = prompt.Ask(outputName);
                switch (answer.Result) {
                case owAbort:
                    summary.Aborted = true;
                    return summary;
                case owOverwrite:
                    action = TRemembered::Overwrite;
                    break;
                case owRename:
                    action = TRemembered::Rename;
                    break;
                default:
                    action = TRemembered::Skip;
                    break;
                }
                remembered = action;
                applyToRest = answer.ApplyToRest;
            }
        }
        switch (action) {
        case TRemembered::Overwrite:
            SaveConverted(options, outputName, bitmap);
            ++summary.Converted;
            break;
        case TRemembered::Rename:
            SaveConverted(options, FirstFreeNumberedName(outputName), bitmap);
            ++summary.Converted;
            break;
        default:
            ++summary.Skipped;
            break;
        }
        progress.SetPosition(++position);
    }
    return summary;
}

} // namespace kapto
