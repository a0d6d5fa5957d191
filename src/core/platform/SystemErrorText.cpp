// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemErrorText.h"

#include <cerrno>
#include <system_error>

namespace tramazel::platform {

std::string systemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case 0:
        return {};
    case ENOSPC:
        return "no queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT:
        return "se ha superado la cuota de disco del usuario";
#endif
    case EACCES:
    case EPERM:
        return "permiso denegado";
    case EROFS:
        return "el disco es de solo lectura";
    case ENOENT:
        return "no existe";
    case ENOTDIR:
        return "una parte de la ruta no es una carpeta";
    case EISDIR:
        return "es una carpeta";
    case EIO:
        return "error de lectura o escritura del dispositivo";
    case EMFILE:
    case ENFILE:
        return "hay demasiados archivos abiertos";
    case ENAMETOOLONG:
        return "el nombre es demasiado largo";
    case EBUSY:
    case ETXTBSY:
        return "otro programa lo está usando";
    case EFBIG:
        return "el archivo sería demasiado grande";
    default:
        return std::generic_category().message(errorNumber);
    }
}

std::string systemErrorText(const std::error_code& error)
{
    if (!error)
        return {};
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category())
        return systemErrorText(condition.value());
    return error.message();
}

} // namespace tramazel::platform
