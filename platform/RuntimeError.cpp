#include "platform/RuntimeError.h"

#include <utility>

namespace tovira {

std::string DescriptionOf(int number) {
    switch (number) {
    case kErrInvalidCall:
        return "Chamada de procedimento ou argumento inválido";
    case kErrOverflow:
        return "Estouro";
    case kErrOutOfMemory:
        return "Memória insuficiente";
    case kErrDivisionByZero:
        return "Divisão por zero";
    case kErrFileNotFound:
        return "Arquivo não encontrado";
    case kErrDeviceIo:
        return "Erro de E/S no dispositivo";
    case kErrPermissionDenied:
        return "Permissão negada";
    case kErrPathFileAccess:
        return "Erro de acesso ao caminho/arquivo";
    case kErrPathNotFound:
        return "Caminho não encontrado";
    case kErrInvalidPicture:
        return "Imagem inválida";
    case kErrConsentRefused:
        return "Permissão de administrador recusada";
    case kErrComponentNotShipped:
        return "Componente não faz parte deste disco";
    default:
        return "Erro definido pelo aplicativo ou pelo objeto";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, DescriptionOf(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

RuntimeError RuntimeError::ElevationRequired() {
    RuntimeError error(kErrPermissionDenied);
    error.needsElevation_ = true;
    return error;
}

} // namespace tovira
