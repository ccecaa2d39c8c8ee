#include "picture/picture_result.h"

#include "picture/pixel_memory.h"

namespace lumenveil {

namespace {

// “name”, in the quotation marks of the messages.
std::string Quoted(std::string_view name)
{
    return "\u201C" + std::string(name) + "\u201D";
}

} // namespace

std::string GroupedNumber(long long value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    }
    return value < 0 ? "-" + digits : digits;
}

std::string PixelCount(long long width, long long height)
{
    return std::to_string(width) + " \u00D7 " + std::to_string(height);
}

std::string DescribePictureResult(const PictureResult& result, std::string_view name)
{
    const std::string file = Quoted(name);
    const std::string& reason = result.reason;
    switch (result.status) {
    case PictureStatus::Ok: return file + " is fine.";
    case PictureStatus::NotFound: return "The file " + file + " does not exist.";
    case PictureStatus::NotReadable: return "The file " + file + " cannot be read: " + reason + ".";
    case PictureStatus::NotAPicture:
        return file + " is not a picture. Lumenveil opens bitmap (BMP), JPEG, GIF and PNG files.";
    case PictureStatus::Damaged:
        return "The picture " + file + " is damaged or incomplete: " + reason + ".";
    case PictureStatus::Unsupported:
        return "The picture " + file + " is stored in a way Lumenveil cannot read (" + reason +
               "). Save it again as an ordinary BMP, JPEG or PNG file and load that.";
    case PictureStatus::TooLarge:
        return "The picture " + file + " is too large: " + reason +
               " pixels is more than the " + GroupedNumber(MaxPicturePixels) +
               " pixels Lumenveil can work on.";
    case PictureStatus::OutOfMemory:
        return "The picture " + file + " cannot be opened: " + reason + ".";
    case PictureStatus::NothingToSave: return "There is no picture to save as " + file + ".";
    case PictureStatus::CannotWrite:
        return "The picture could not be saved as " + file + ": " + reason + ".";
    case PictureStatus::Stopped: return "Loading " + file + " was stopped.";
    }
    return {};
}

} // namespace lumenveil
