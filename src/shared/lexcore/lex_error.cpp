#include "shared/lexcore/lex_error.h"

#include <cerrno>
#include <cstring>
#include <new>

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
    default:
        return std::strerror(err);
    }
}

std::string failureText(const std::exception &e) {
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return "内存不足，操作没有完成。";
    return e.what();
}

} // namespace lex
