#include "host/landing_page.h"

namespace tovelin {

std::string_view landingPage()
{
    return R"html(<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Tovelin — файловый хостинг</title>
<style>
body { font-family: sans-serif; max-width: 40em; margin: 2em auto; padding: 0 1em;
       color: #222; background: #f4f4f4; line-height: 1.5; }
h1 { color: #555; }
code { background: #e4e4e4; padding: 0 .2em; }
</style>
</head>
<body>
<h1>Tovelin</h1>
<p>Tovelin — маленькая программа для рабочего стола, которая отправляет один выбранный
файл на файловый хостинг и показывает ссылку для скачивания.</p>
<p>Нажмите кнопку выбора файла, укажите файл размером до 51199 КБ — программа загрузит
его на этот сервер, а в строке окна появится ссылка. Скопируйте её и отправьте тому, кому
нужен файл: по ссылке он скачается под своим исходным именем.</p>
<p>Этот сервер — файловый хостинг Tovelin. Файлы хранятся на нём, пока их не удалит
владелец сервера.</p>
<h2>Для разработчиков</h2>
<p>Загрузка: <code>POST /upload/</code> с телом <code>multipart/form-data</code>, часть
<code>file</code>, не больше 51200 КБ. Ответ — <code>302</code> с адресом
<code>/upload/</code> и идентификатором файла. Скачивание: <code>GET /</code> и тот же
идентификатор.</p>
</body>
</html>
)html";
}

} // namespace tovelin
