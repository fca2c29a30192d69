#include "shared/lexcore/lex_error.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace lex {

std::string systemErrorText(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return "权限不够";
    case EROFS:
        return "只读文件系统";
    case ENOSPC:
    case EDQUOT:
        return "磁盘已满";
    case ENOTDIR:
        return "不是文件夹";
    case EISDIR:
        return "是文件夹";
    case ENOENT:
        return "文件或文件夹不存在";
    case EFBIG:
        return "文件太大";
    case ENAMETOOLONG:
        return "文件名太长";
    case EMFILE:
    case ENFILE:
        return "打开的文件太多";
    case EIO:
        return "输入输出错误";
    case ENOMEM:
        return "内存不足";
    case EINVAL:
        return "无效的参数";
    case ELOOP:
        return "符号链接层次太多";
    case ETXTBSY:
    case EBUSY:
        return "文件正被使用";
    case EXDEV:
        return "不能跨文件系统";
    case ENXIO:
    case ENODEV:
        return "设备不存在";
    case EPIPE:
        return "管道已断开";
    case EEXIST:
        return "文件已存在";
    case ENOTEMPTY:
        return "文件夹不是空的";
    case EMLINK:
        return "链接太多";
    case EAGAIN:
        return "资源暂时不可用";
    case EINTR:
        return "被信号中断";
    case EOVERFLOW:
        return "数值太大";
    case ESTALE:
        return "网络文件句柄已失效";
    case ETIMEDOUT:
        return "连接超时";
    case ESPIPE:
        return "不能定位";
    default:
        // Rare numbers keep the system's own text, behind a Chinese lead.
        return "系统错误 " + std::to_string(err) + "：" + std::strerror(err);
    }
}

std::string failureText(const std::exception &e) {
    if (dynamic_cast<const std::bad_alloc *>(&e) || dynamic_cast<const std::length_error *>(&e))
        return "内存不足，操作没有完成。";
    // A file operation of the standard library: its what() is English, its error number is not.
    if (auto *fe = dynamic_cast<const std::filesystem::filesystem_error *>(&e)) {
        std::string text = "文件操作失败：" + fe->path1().string();
        if (!fe->path2().empty())
            text += "、" + fe->path2().string();
        return text + "（" + systemErrorText(fe->code().value()) + "）";
    }
    if (auto *se = dynamic_cast<const std::system_error *>(&e);
        se && (se->code().category() == std::generic_category() ||
               se->code().category() == std::system_category()))
        return "系统错误：" + systemErrorText(se->code().value());
    return e.what();
}

} // namespace lex
