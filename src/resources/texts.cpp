#include "resources/texts.h"

#include <cerrno>
#include <vector>

namespace vorda::texts {

std::string format(Text text, std::initializer_list<std::string_view> arguments) {
    const std::vector<std::string_view> args(arguments);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string systemError(int code) {
    switch (code) {
        case ENOENT:
            return "нет такого файла или каталога";
        case EACCES:
            return "нет прав доступа";
        case EPERM:
            return "операция не разрешена";
        case EISDIR:
            return "это каталог";
        case ENOTDIR:
            return "часть пути не является каталогом";
        case EROFS:
            return "файловая система доступна только для чтения";
        case ENOSPC:
            return "на диске не осталось места";
        case EDQUOT:
            return "превышена дисковая квота";
        case EFBIG:
            return "файл слишком велик";
        case EIO:
            return "ошибка ввода-вывода";
        case ELOOP:
            return "слишком много уровней символических ссылок";
        case ENAMETOOLONG:
            return "слишком длинное имя файла";
        case EMFILE:
        case ENFILE:
            return "открыто слишком много файлов";
        case EBUSY:
        case ETXTBSY:
            return "файл занят";
        case EXDEV:
            return "файлы на разных файловых системах";
        case EINVAL:
            return "недопустимый аргумент";
        case ENOMEM:
            return "недостаточно памяти";
        case ENXIO:
        case ENODEV:
            return "нет такого устройства";
        case ESTALE:
            return "устаревший дескриптор сетевого файла";
        case EAGAIN:
            return "ресурс временно недоступен";
        default:
            return format("системная ошибка %1", {std::to_string(code)});
    }
}

std::string counted(long count, Text one, Text few, Text many) {
    const long n = count < 0 ? -count : count;
    Text noun = many;
    if (n % 100 < 11 || n % 100 > 14) {
        if (n % 10 == 1) {
            noun = one;
        } else if (n % 10 >= 2 && n % 10 <= 4) {
            noun = few;
        }
    }
    return std::to_string(count) + " " + std::string(noun);
}

std::string byteSize(std::uint64_t bytes) {
    constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
    if (bytes >= kMebibyte && bytes % kMebibyte == 0) {
        return format(kMebibytes, {std::to_string(bytes / kMebibyte)});
    }
    return counted(static_cast<long>(bytes), kByteOne, kByteFew, kByteMany);
}

}  // namespace vorda::texts
