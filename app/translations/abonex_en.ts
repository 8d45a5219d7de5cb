<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="ru_RU">
<context>
    <name>abonex::Application</name>
    <message>
        <source>Абонекс 4</source>
        <translation>Abonex 4</translation>
    </message>
</context>
<context>
    <name>abonex::Banner</name>
    <message>
        <source>Такси «Попутчик» — по городу быстро и недорого</source>
        <translation>Poputchik taxi: across town, fast and cheap</translation>
    </message>
    <message>
        <source>Магазин «Связист»: телефоны, модемы, аксессуары</source>
        <translation>Svyazist shop: telephones, modems, accessories</translation>
    </message>
    <message>
        <source>Ремонт телефонов и модемов — в день обращения</source>
        <translation>Telephones and modems repaired the same day</translation>
    </message>
</context>
<context>
    <name>abonex::CallLogDialog</name>
    <message>
        <source>Входящий</source>
        <translation>Incoming</translation>
    </message>
    <message>
        <source>Исходящий (модем)</source>
        <translation>Outgoing (modem)</translation>
    </message>
    <message>
        <source>Исходящий (телефон)</source>
        <translation>Outgoing (telephone)</translation>
    </message>
    <message>
        <source>Исходящий</source>
        <translation>Outgoing</translation>
    </message>
    <message>
        <source>номер не определён</source>
        <translation>number unknown</translation>
    </message>
    <message>
        <source>Журнал звонков</source>
        <translation>Call log</translation>
    </message>
    <message>
        <source>Когда</source>
        <translation>When</translation>
    </message>
    <message>
        <source>Звонок</source>
        <translation>Call</translation>
    </message>
    <message>
        <source>Номер</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>Имя</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Звонков</source>
        <translation>Calls</translation>
    </message>
    <message>
        <source>Перезвонить</source>
        <translation>Call back</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Очистить журнал звонков?</source>
        <translation>Clear the call log?</translation>
    </message>
</context>
<context>
    <name>abonex::CallNotice</name>
    <message>
        <source>Имя по линии: </source>
        <translation>Name on the line: </translation>
    </message>
    <message>
        <source>Звонит: номер скрыт</source>
        <translation>Calling: number withheld</translation>
    </message>
    <message>
        <source>Звонит: номер не определён</source>
        <translation>Calling: number unknown</translation>
    </message>
    <message>
        <source>Звонит %1 — нет в справочнике</source>
        <translation>%1 calling: not in the directory</translation>
    </message>
    <message>
        <source>Звонит: %1, %2</source>
        <translation>Calling: %1, %2</translation>
    </message>
    <message>
        <source>Этот номер есть у %1 записей справочника: %2</source>
        <translation>%1 directory records have this number: %2</translation>
    </message>
    <message>
        <source>Звонит %1</source>
        <translation>%1 calling</translation>
    </message>
    <message>
        <source>Справочник не прочитан: </source>
        <translation>The directory could not be read: </translation>
    </message>
</context>
<context>
    <name>abonex::CommandLine</name>
    <message>
        <source>использование: abonex [--help | --version]
               abonex --table ПУТЬ [--record N]

Открывает окно Абонекса, телефонного справочника одного города, на таблицах в папке
программы (Phone.DBF, Org.dbf, Favor.dbf с индексными файлами .MDX). Изменять их
могут члены группы, которой принадлежит папка (abonex, если программа установлена
из пакета); остальные пользователи могут искать и звонить.

  -h, --help        показать этот текст и выйти
      --version     показать версию и выйти
      --table ПУТЬ  открыть окно на папке таблицы справочника ПУТЬ и показать её
      --record N    вместе с --table: встать на запись N

Таблицы создаёт, проверяет, импортирует и экспортирует abonex-db; см. abonex(1)
и abonex-db(1).
</source>
        <translation>usage: abonex [--help | --version]
       abonex --table PATH [--record N]

Opens the directory window of Abonex, the telephone directory of one town, on the
tables in the program&apos;s own folder (Phone.DBF, Org.dbf, Favor.dbf with their .MDX
index files). Writing to them needs membership of the group that owns the folder
(abonex when installed from the package); other users may search and dial.

  -h, --help        show this text and exit
      --version     show the version and exit
      --table PATH  open the window on the folder of the directory table PATH, showing it
      --record N    with --table: stand on record N

The tables are created, checked, imported and exported with abonex-db; see
abonex(1) and abonex-db(1).
</translation>
    </message>
</context>
<context>
    <name>abonex::DeletedRowsDialog</name>
    <message>
        <source>Удалённые записи</source>
        <translation>Deleted records</translation>
    </message>
    <message>
        <source>телефон 1</source>
        <translation>phone 1</translation>
    </message>
    <message>
        <source>телефон 2</source>
        <translation>phone 2</translation>
    </message>
    <message>
        <source>Комментарии</source>
        <translation>Comments</translation>
    </message>
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>abonex::DifferenceListModel</name>
    <message>
        <source>&lt;b&gt;Фамилия И.О.&lt;/b&gt;</source>
        <translation>&lt;b&gt;Surname and initials&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;center&gt;&lt;b&gt;телефон 1&lt;/b&gt;&lt;/center&gt;</source>
        <translation>&lt;center&gt;&lt;b&gt;phone 1&lt;/b&gt;&lt;/center&gt;</translation>
    </message>
    <message>
        <source>&lt;center&gt;&lt;b&gt;телефон 2&lt;/b&gt;&lt;/center&gt;</source>
        <translation>&lt;center&gt;&lt;b&gt;phone 2&lt;/b&gt;&lt;/center&gt;</translation>
    </message>
    <message>
        <source>Номер телефона 1 во внешней таблице не совпадает с номером, имеющимся в базе.</source>
        <translation>Phone number 1 in the external table differs from the one in the database.</translation>
    </message>
    <message>
        <source>Номер телефона 1 в Вашей базе не совпадает с номером во внешней таблице.</source>
        <translation>Phone number 1 in your database differs from the one in the external table.</translation>
    </message>
    <message>
        <source>Номер телефона 2 во внешней таблице не совпадает с номером, имеющимся в базе.</source>
        <translation>Phone number 2 in the external table differs from the one in the database.</translation>
    </message>
    <message>
        <source>Номер телефона 2 в Вашей базе не совпадает с номером во внешней таблице.</source>
        <translation>Phone number 2 in your database differs from the one in the external table.</translation>
    </message>
    <message>
        <source>Данная запись в Вашей базе отсутствует.</source>
        <translation>This record is missing from your database.</translation>
    </message>
    <message>
        <source>Данная запись во внешней таблице отсутствует.</source>
        <translation>This record is missing from the external table.</translation>
    </message>
    <message>
        <source> (пусто) </source>
        <translation> (empty) </translation>
    </message>
</context>
<context>
    <name>abonex::HayesModemLine</name>
    <message>
        <source>Модем не ответил.</source>
        <translation>The modem did not answer.</translation>
    </message>
    <message>
        <source>не выбрано устройство</source>
        <translation>no device chosen</translation>
    </message>
    <message>
        <source>Связь с модемом закрыта.</source>
        <translation>The connection to the modem is closed.</translation>
    </message>
    <message>
        <source>Нет связи с модемом: </source>
        <translation>No connection to the modem: </translation>
    </message>
    <message>
        <source>Модем не подключён.</source>
        <translation>The modem is not connected.</translation>
    </message>
    <message>
        <source>Не удалось открыть %1: %2</source>
        <translation>Could not open %1: %2</translation>
    </message>
</context>
<context>
    <name>abonex::Links</name>
    <message>
        <source>Здравствуйте! У меня вопрос о программе Абонекс.</source>
        <translation>Hello! I have a question about Abonex.</translation>
    </message>
</context>
<context>
    <name>abonex::MessageBox</name>
    <message>
        <source>Не найдено приложение, отвечающее за просмотр Web страниц.</source>
        <translation>No application for viewing web pages was found.</translation>
    </message>
    <message>
        <source>Установите одну из известных программ:</source>
        <translation>Install one of the well-known programs:</translation>
    </message>
    <message>
        <source>- и т.п.</source>
        <translation>- and so on.</translation>
    </message>
    <message>
        <source>Не найдено приложение, отвечающее за отправку почты.</source>
        <translation>No application for sending mail was found.</translation>
    </message>
    <message>
        <source>Не найдено приложение, отвечающее за просмотр файлов *.txt.</source>
        <translation>No application for viewing *.txt files was found.</translation>
    </message>
    <message>
        <source>Не найдено приложение, отвечающее за звонки по ссылкам tel:.</source>
        <translation>No application for calling tel: links was found.</translation>
    </message>
    <message>
        <source>Телефонный справочник установлен неправильно.</source>
        <translation>The telephone directory is not installed correctly.</translation>
    </message>
    <message>
        <source>Пожалуйста, переустановите пакет abonex и не изменяйте</source>
        <translation>Please reinstall the abonex package and do not change</translation>
    </message>
    <message>
        <source>после установки местоположение и содержимое</source>
        <translation>the location and contents of the folder</translation>
    </message>
    <message>
        <source>папки, которую выберите для установки.</source>
        <translation>you choose for the installation afterwards.</translation>
    </message>
    <message>
        <source>По какой-то причине невозможно открыть базу данных.</source>
        <translation>For some reason the database cannot be opened.</translation>
    </message>
    <message>
        <source>Проверьте не испорчены ли файлы:</source>
        <translation>Check whether these files are damaged:</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>abonex::ModemSettingsDialog</name>
    <message>
        <source>Настройка модема</source>
        <translation>Modem settings</translation>
    </message>
    <message>
        <source>Как звонить</source>
        <translation>How to call</translation>
    </message>
    <message>
        <source>Через модем на последовательном порту</source>
        <translation>Through a modem on a serial port</translation>
    </message>
    <message>
        <source>Телефон через приложение системы</source>
        <translation>Telephone through the system&apos;s application</translation>
    </message>
    <message>
        <source>Номер набирает модем, подключённый к последовательному порту</source>
        <translation>A modem connected to a serial port dials the number</translation>
    </message>
    <message>
        <source>Номер передаётся программе-телефону рабочего стола (ссылка tel:)</source>
        <translation>The number is handed to the desktop&apos;s telephone program (a tel: link)</translation>
    </message>
    <message>
        <source>Модем</source>
        <translation>Modem</translation>
    </message>
    <message>
        <source>Устройство модема, например /dev/ttyACM0 или /dev/ttyS0</source>
        <translation>The modem&apos;s device, for example /dev/ttyACM0 or /dev/ttyS0</translation>
    </message>
    <message>
        <source>Скорость обмена с модемом по порту</source>
        <translation>The speed of the port to the modem</translation>
    </message>
    <message>
        <source>Команды, которые модем получает перед набором номера</source>
        <translation>Commands the modem receives before dialing</translation>
    </message>
    <message>
        <source> с</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Сколько секунд ждать ответа модема, прежде чем положить трубку</source>
        <translation>How many seconds to wait for the modem to answer before hanging up</translation>
    </message>
    <message>
        <source>Опросить модем</source>
        <translation>Query the modem</translation>
    </message>
    <message>
        <source>Послать модему команду ATI и показать его ответ</source>
        <translation>Send the modem the ATI command and show its answer</translation>
    </message>
    <message>
        <source>Здесь будет ответ модема на команду ATI</source>
        <translation>The modem&apos;s answer to ATI appears here</translation>
    </message>
    <message>
        <source>Порт:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Скорость, бит/с:</source>
        <translation>Speed, bit/s:</translation>
    </message>
    <message>
        <source>Строка инициализации:</source>
        <translation>Initialisation string:</translation>
    </message>
    <message>
        <source>Ждать ответа при наборе:</source>
        <translation>Wait for an answer when dialing:</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Скорость, бит/с</source>
        <translation>Speed, bit/s</translation>
    </message>
    <message>
        <source>Ответ модема</source>
        <translation>The modem&apos;s answer</translation>
    </message>
    <message>
        <source>Телефонный код города справочника, например 8172: по нему номер звонящего с кодом находится среди местных номеров</source>
        <translation>The directory town&apos;s dialing code, for example 8172: with it a caller&apos;s number with the code is found among the local numbers</translation>
    </message>
    <message>
        <source>Код города:</source>
        <translation>Town code:</translation>
    </message>
    <message>
        <source>Сейчас звонки идут через %1: так задано переменной окружения ABONEX_MODEM.</source>
        <translation>Calls now go through %1: the environment variable ABONEX_MODEM says so.</translation>
    </message>
    <message>
        <source>ОК</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Запомнить настройки</source>
        <translation>Keep the settings</translation>
    </message>
    <message>
        <source>Закрыть окно, не меняя настроек</source>
        <translation>Close the window without changing the settings</translation>
    </message>
    <message>
        <source>Опрос модема...</source>
        <translation>Querying the modem...</translation>
    </message>
</context>
<context>
    <name>abonex::PhoneListDocument</name>
    <message>
        <source>Страница %1</source>
        <translation>Page %1</translation>
    </message>
    <message>
        <source>Нет записей</source>
        <translation>No records</translation>
    </message>
</context>
<context>
    <name>abonex::TFEditRecord</name>
    <message>
        <source>Редактирование записи</source>
        <translation>Edit record</translation>
    </message>
    <message>
        <source>Фамилия И.О.</source>
        <translation>Surname and initials</translation>
    </message>
    <message>
        <source>Телефон 1.</source>
        <translation>Phone 1.</translation>
    </message>
    <message>
        <source>Телефон 2.</source>
        <translation>Phone 2.</translation>
    </message>
    <message>
        <source>Комментарии</source>
        <translation>Comments</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Сохранить запись в таблице и закрыть окно</source>
        <translation>Store the record in the table and close the window</translation>
    </message>
    <message>
        <source>Закрыть окно, не сохраняя изменений</source>
        <translation>Close the window without storing the changes</translation>
    </message>
    <message>
        <source>Не более %1 знаков</source>
        <translation>At most %1 characters</translation>
    </message>
    <message>
        <source>Запись пуста: введите имя или номер телефона.</source>
        <translation>The record is empty: enter a name or a phone number.</translation>
    </message>
    <message>
        <source>Телефон 1</source>
        <translation>Phone 1</translation>
    </message>
    <message>
        <source>Телефон 2</source>
        <translation>Phone 2</translation>
    </message>
    <message>
        <source>Поле «%1» длиннее %2 знаков (набрано %3): сократите его, иначе оно не поместится в таблицу.</source>
        <translation>The field &quot;%1&quot; is longer than %2 characters (%3 typed): shorten it, or it will not fit in the table.</translation>
    </message>
</context>
<context>
    <name>abonex::TFMain</name>
    <message>
        <source>Удалённые записи</source>
        <translation>Deleted records</translation>
    </message>
    <message>
        <source>Сжать таблицу…</source>
        <translation>Pack the table…</translation>
    </message>
    <message>
        <source>Сжатие таблицы</source>
        <translation>Packing the table</translation>
    </message>
    <message>
        <source>В таблице нет удалённых записей.</source>
        <translation>The table holds no deleted records.</translation>
    </message>
    <message>
        <source>Удалённых записей: %1.&#xd;&#xa;Они будут удалены из таблицы навсегда и восстановить их будет нельзя.&#xd;&#xa;&#xd;&#xa;Сжать таблицу?</source>
        <translation>Deleted records: %1.&#xd;&#xa;They will be removed from the table for good and cannot be restored.&#xd;&#xa;&#xd;&#xa;Pack the table?</translation>
    </message>
    <message>
        <source>Таблица сжата: записей %1, удалено %2.</source>
        <translation>The table is packed: %1 records, %2 removed.</translation>
    </message>
    <message>
        <source>Таблица открыта в другой копии программы (на этом или другом компьютере).&#xd;&#xa;Сжать её можно, только когда другие копии её закроют.</source>
        <translation>The table is open in another copy of the program (on this computer or another).&#xd;&#xa;It can be packed only when the other copies have closed it.</translation>
    </message>
    <message>
        <source>Абонекс (служба 09 после 20:00) v. 4</source>
        <translation>Abonex (directory enquiries after 20:00) v. 4</translation>
    </message>
    <message>
        <source>ничего не найдено</source>
        <translation>nothing found</translation>
    </message>
    <message>
        <source>Фамилия И.О.</source>
        <translation>Surname and initials</translation>
    </message>
    <message>
        <source>Организация</source>
        <translation>Organisation</translation>
    </message>
    <message>
        <source>Контакт</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>Главное меню</source>
        <translation>Main menu</translation>
    </message>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Печать…</source>
        <translation>Print…</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>&amp;Телефоны</source>
        <translation>&amp;Telephones</translation>
    </message>
    <message>
        <source>Частных лиц</source>
        <translation>Private persons</translation>
    </message>
    <message>
        <source>Организаций</source>
        <translation>Organisations</translation>
    </message>
    <message>
        <source>Фавориты</source>
        <translation>Favourites</translation>
    </message>
    <message>
        <source>Журнал звонков</source>
        <translation>Call log</translation>
    </message>
    <message>
        <source>&amp;Вид</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Помощь</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Панель управления</source>
        <translation>Control panel</translation>
    </message>
    <message>
        <source>Показать результат</source>
        <translation>Show result</translation>
    </message>
    <message>
        <source>Телефоны частных лиц</source>
        <translation>Private persons&apos; telephones</translation>
    </message>
    <message>
        <source>Телефоны организаций</source>
        <translation>Organisations&apos; telephones</translation>
    </message>
    <message>
        <source>Фавориты (часто ипользуемые контакты)</source>
        <translation>Favourites (contacts used often)</translation>
    </message>
    <message>
        <source>Набрать текущий номер (Положить трубку)</source>
        <translation>Dial the current number (Hang up)</translation>
    </message>
    <message>
        <source>О Программе</source>
        <translation>About the program</translation>
    </message>
    <message>
        <source>Другие кнопки панели</source>
        <translation>More buttons of the panel</translation>
    </message>
    <message>
        <source>Поиск</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Поиск по фамилии</source>
        <translation>Search by surname</translation>
    </message>
    <message>
        <source>Поиск по телефону</source>
        <translation>Search by phone</translation>
    </message>
    <message>
        <source>Сброс</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>В &amp;начале строки</source>
        <translation>At the &amp;start</translation>
    </message>
    <message>
        <source>Ищем записи с вхождением искомого текста только в начале строки (удобнее для фамилий)</source>
        <translation>Find records whose text begins with what is typed (handier for surnames)</translation>
    </message>
    <message>
        <source>В &amp;любом месте строки</source>
        <translation>&amp;Anywhere</translation>
    </message>
    <message>
        <source>Ищем записи с вхождением искомого текста в любом месте строки (удобнее для организаций)</source>
        <translation>Find records that hold what is typed anywhere (handier for organisations)</translation>
    </message>
    <message>
        <source>Пользуйтесь правой кнопкой мыши</source>
        <translation>Use the right mouse button</translation>
    </message>
    <message>
        <source>Записи справочника</source>
        <translation>Directory records</translation>
    </message>
    <message>
        <source>Добавить в контакты</source>
        <translation>Add to contacts</translation>
    </message>
    <message>
        <source>Вставить запись</source>
        <translation>Insert record</translation>
    </message>
    <message>
        <source>Редактировать</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Набрать номер</source>
        <translation>Dial number</translation>
    </message>
    <message>
        <source>Копировать номер</source>
        <translation>Copy number</translation>
    </message>
    <message>
        <source>Копирует номер текущей записи: тот, что набрал бы звонок</source>
        <translation>Copies the current record&apos;s number: the one a call would dial</translation>
    </message>
    <message>
        <source>Копировать запись (имя, телефоны, комментарий)</source>
        <translation>Copy record (name, phones, comment)</translation>
    </message>
    <message>
        <source>Набор номера</source>
        <translation>Dialing</translation>
    </message>
    <message>
        <source>Импульсный</source>
        <translation>Pulse</translation>
    </message>
    <message>
        <source>Тоновый</source>
        <translation>Tone</translation>
    </message>
    <message>
        <source>Настройка модема</source>
        <translation>Modem settings</translation>
    </message>
    <message>
        <source>Положить трубку</source>
        <translation>Hang up</translation>
    </message>
    <message>
        <source>Нет номера телефона для текущей записи</source>
        <translation>The current record has no phone number</translation>
    </message>
    <message>
        <source>Идёт вызов: </source>
        <translation>Calling: </translation>
    </message>
    <message>
        <source>Визитные карточки vCard (*.vcf *.vcard)</source>
        <translation>vCard business cards (*.vcf *.vcard)</translation>
    </message>
    <message>
        <source>Экспорт показанных записей в vCard...</source>
        <translation>Export the records shown to vCard...</translation>
    </message>
    <message>
        <source>Экспорт избранного в vCard...</source>
        <translation>Export the favourites to vCard...</translation>
    </message>
    <message>
        <source>Импорт из vCard в избранное...</source>
        <translation>Import from vCard into the favourites...</translation>
    </message>
    <message>
        <source>Экспорт показанных записей в vCard</source>
        <translation>Export the records shown to vCard</translation>
    </message>
    <message>
        <source>Экспорт избранного в vCard</source>
        <translation>Export the favourites to vCard</translation>
    </message>
    <message>
        <source>: это файл таблицы; карточки записываются в файл vCard (.vcf)</source>
        <translation>: this is a table file; the cards are written to a vCard file (.vcf)</translation>
    </message>
    <message>
        <source>Не удалось записать файл </source>
        <translation>Could not write the file </translation>
    </message>
    <message>
        <source>Записано карточек: </source>
        <translation>Cards written: </translation>
    </message>
    <message>
        <source>Импорт из vCard в избранное</source>
        <translation>Import from vCard into the favourites</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл </source>
        <translation>Could not read the file </translation>
    </message>
    <message>
        <source>Добавлено в избранное: </source>
        <translation>Added to the favourites: </translation>
    </message>
    <message>
        <source>Таблица в кодовой странице </source>
        <translation>The table is in code page </translation>
    </message>
    <message>
        <source>, не 866: только просмотр</source>
        <translation>, not 866: view only</translation>
    </message>
    <message>
        <source>более </source>
        <translation>more than </translation>
    </message>
    <message>
        <source>Ничего не найдено</source>
        <translation>Nothing found</translation>
    </message>
    <message>
        <source>
Искали также </source>
        <translation>
Also searched for </translation>
    </message>
    <message>
        <source>Найдено: </source>
        <translation>Found: </translation>
    </message>
    <message>
        <source>Таблица отфильтрована по телефону &quot;</source>
        <translation>The table is filtered by the phone &quot;</translation>
    </message>
    <message>
        <source>&quot;: найдено </source>
        <translation>&quot;: found </translation>
    </message>
    <message>
        <source>телефон 1</source>
        <translation>phone 1</translation>
    </message>
    <message>
        <source>телефон 2</source>
        <translation>phone 2</translation>
    </message>
    <message>
        <source>в начале строки</source>
        <translation>at the start</translation>
    </message>
    <message>
        <source>в любом месте строки</source>
        <translation>anywhere</translation>
    </message>
    <message>
        <source>телефон «%1»</source>
        <translation>phone &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Все записи</source>
        <translation>All records</translation>
    </message>
    <message>
        <source>Поиск: </source>
        <translation>Search: </translation>
    </message>
    <message>
        <source>Комментарий</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>Печать: </source>
        <translation>Print: </translation>
    </message>
    <message>
        <source>Не удалось напечатать список</source>
        <translation>The list could not be printed</translation>
    </message>
    <message>
        <source> в файл </source>
        <translation> to the file </translation>
    </message>
    <message>
        <source>Новая запись</source>
        <translation>New record</translation>
    </message>
    <message>
        <source>Удалить из базы
<byte value="xd"/></source>
        <translation>Delete from the database
</translation>
    </message>
    <message>
        <source>
<byte value="xd"/>
<byte value="xd"/>Вы уверены?</source>
        <translation>
</translation>
    </message>
    <message>
        <source>Удаление записи?</source>
        <translation>Delete the record?</translation>
    </message>
    <message>
        <source>» уже есть в фаворитах: вторая копия не добавлена.</source>
        <translation>&quot; is already in the favourites: a second copy was not added.</translation>
    </message>
    <message>
        <source>» добавлен в фавориты.</source>
        <translation>&quot; was added to the favourites.</translation>
    </message>
    <message>
        <source>Добавить в контакты (</source>
        <translation>Add to contacts (</translation>
    </message>
    <message>
        <source> тел. </source>
        <translation> tel. </translation>
    </message>
    <message>
        <source>Набрать номер (</source>
        <translation>Dial number (</translation>
    </message>
    <message>
        <source>Наберите нужную фамилию (часть фамилии)</source>
        <translation>Type the surname (or part of it)</translation>
    </message>
    <message>
        <source>Наберите нужную фамилию (часть фамилии) и нажмите Enter</source>
        <translation>Type the surname (or part of it) and press Enter</translation>
    </message>
    <message>
        <source>Наберите номер телефона (или часть номера), включая &quot; - &quot;</source>
        <translation>Type the phone number (or part of it), with the &quot; - &quot;</translation>
    </message>
    <message>
        <source>Наберите номер телефона (или часть номера), включая &quot; - &quot;, и нажмите Enter</source>
        <translation>Type the phone number (or part of it), with the &quot; - &quot;, and press Enter</translation>
    </message>
    <message>
        <source>Индекс таблицы обновляется: другая программа добавила в неё записи</source>
        <translation>The table&apos;s index is being updated: another program added records to it</translation>
    </message>
    <message>
        <source>Индекс таблицы обновляется: другая программа изменила таблицу</source>
        <translation>The table&apos;s index is being updated: another program changed the table</translation>
    </message>
    <message>
        <source>Индекс таблицы обновляется, поиск будет выполнен по его окончании</source>
        <translation>The table&apos;s index is being updated; the search runs when it is done</translation>
    </message>
    <message>
        <source>Таблица отфильтрована по фильтру &quot;</source>
        <translation>The table is filtered by &quot;</translation>
    </message>
    <message>
        <source>Всего в таблице </source>
        <translation>The table holds </translation>
    </message>
    <message>
        <source> записей</source>
        <translation> records</translation>
    </message>
    <message>
        <source>Константинопольский А.А.</source>
        <translation>Konstantinopolsky A.A.</translation>
    </message>
    <message>
        <source>Обновление базы данных</source>
        <translation>Update the database</translation>
    </message>
    <message>
        <source>Только чтение: нет прав на запись в файлы справочника</source>
        <translation>Read only: no right to write the directory&apos;s files</translation>
    </message>
    <message>
        <source>Только чтение: изменять справочник могут члены группы </source>
        <translation>Read only: the directory may be changed by the members of the group </translation>
    </message>
    <message>
        <source>Только чтение</source>
        <translation>Read only</translation>
    </message>
    <message>
        <source>Восстановить</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Крупные значки</source>
        <translation>Large icons</translation>
    </message>
    <message>
        <source>Мелкие значки</source>
        <translation>Small icons</translation>
    </message>
    <message>
        <source>Всплывающие подсказки</source>
        <translation>Pop-up hints</translation>
    </message>
    <message>
        <source>Показывать инструменты</source>
        <translation>Show the tools</translation>
    </message>
    <message>
        <source>Показывать комментарии</source>
        <translation>Show the comments</translation>
    </message>
    <message>
        <source>Показывать статус</source>
        <translation>Show the status</translation>
    </message>
    <message>
        <source>Искать при вводе</source>
        <translation>Search while typing</translation>
    </message>
    <message>
        <source>Абонекс HomePage</source>
        <translation>Abonex home page</translation>
    </message>
    <message>
        <source>Абонекс обновление</source>
        <translation>Abonex update</translation>
    </message>
    <message>
        <source>Подписаться на новости</source>
        <translation>Subscribe to the news</translation>
    </message>
    <message>
        <source>Написать письмо</source>
        <translation>Write a mail</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Пользовательская лицензия</source>
        <translation>User licence</translation>
    </message>
    <message>
        <source>Ничего не добавлено.</source>
        <translation>Nothing was added.</translation>
    </message>
</context>
<context>
    <name>abonex::TFUpdateFromTable</name>
    <message>
        <source> (импорт)</source>
        <translation> (import)</translation>
    </message>
    <message>
        <source> (экспорт)</source>
        <translation> (export)</translation>
    </message>
    <message>
        <source>Не могу открыть выбранную таблицу.</source>
        <translation>Cannot open the table chosen.</translation>
    </message>
    <message>
        <source>Файлы таблиц Абонекс (Phone.dbf Org.dbf)</source>
        <translation>Abonex table files (Phone.dbf Org.dbf)</translation>
    </message>
    <message>
        <source>Закрыть окно?</source>
        <translation>Close the window?</translation>
    </message>
    <message>
        <source>Найденные отличия не будут применены.</source>
        <translation>The differences found will not be applied.</translation>
    </message>
    <message>
        <source>Закрыть окно синхронизации?</source>
        <translation>Close the synchronisation window?</translation>
    </message>
    <message>
        <source>Внимание!!!</source>
        <translation>Attention!!!</translation>
    </message>
    <message>
        <source>Изменено телефонов: %1.</source>
        <translation>Phones changed: %1.</translation>
    </message>
    <message>
        <source>Добавлено записей: %1.</source>
        <translation>Records added: %1.</translation>
    </message>
    <message>
        <source>Удалено записей: %1.</source>
        <translation>Records deleted: %1.</translation>
    </message>
    <message>
        <source>Не применено отличий: %1.</source>
        <translation>Differences not applied: %1.</translation>
    </message>
    <message>
        <source>Записи, к которым они относятся, изменены или удалены после проверки.</source>
        <translation>The records they belong to were changed or deleted after the check.</translation>
    </message>
    <message>
        <source>Изменения применены</source>
        <translation>The changes are applied</translation>
    </message>
    <message>
        <source>&amp;Стоп !</source>
        <translation>&amp;Stop !</translation>
    </message>
    <message>
        <source>перестраиваются индексы</source>
        <translation>rebuilding the indexes</translation>
    </message>
    <message>
        <source>Выполнено - </source>
        <translation>Done - </translation>
    </message>
    <message>
        <source>Старт!</source>
        <translation>Start!</translation>
    </message>
    <message>
        <source>&amp;Старт !</source>
        <translation>&amp;Start !</translation>
    </message>
    <message>
        <source>Внешняя таблица не содержит записей отличных от Ваших!</source>
        <translation>The external table holds no records different from yours!</translation>
    </message>
    <message>
        <source>Попробуйте сделать &quot;Экспорт&quot;.</source>
        <translation>Try an &quot;Export&quot;.</translation>
    </message>
    <message>
        <source>Ваша таблица не содержит записей отличных от внешней!</source>
        <translation>Your table holds no records different from the external one!</translation>
    </message>
    <message>
        <source>Попробуйте сделать &quot;Импорт&quot;.</source>
        <translation>Try an &quot;Import&quot;.</translation>
    </message>
    <message>
        <source>Проверка закончена</source>
        <translation>The check is finished</translation>
    </message>
    <message>
        <source>Синхронизация с внешней таблицей</source>
        <translation>Synchronisation with an external table</translation>
    </message>
    <message>
        <source>Импорт данных</source>
        <translation>Import data</translation>
    </message>
    <message>
        <source>Перенести в свою таблицу то, чем от неё отличается внешняя</source>
        <translation>Bring into your table what the external one has different</translation>
    </message>
    <message>
        <source>Экспорт данных</source>
        <translation>Export data</translation>
    </message>
    <message>
        <source>Перенести во внешнюю таблицу то, чем от неё отличается своя</source>
        <translation>Bring into the external table what yours has different</translation>
    </message>
    <message>
        <source>Файл внешней таблицы</source>
        <translation>External table file</translation>
    </message>
    <message>
        <source>О&amp;бзор</source>
        <translation>&amp;Browse</translation>
    </message>
    <message>
        <source>Выбрать файл внешней таблицы</source>
        <translation>Choose the external table file</translation>
    </message>
    <message>
        <source>С какой таблицей сравнить? (путь к файлу *.dbf) ---&gt;&gt;&gt;</source>
        <translation>Which table to compare with? (the path of a *.dbf file) ---&gt;&gt;&gt;</translation>
    </message>
    <message>
        <source>Прогресс</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Какая часть таблиц уже сравнена</source>
        <translation>How much of the tables is compared</translation>
    </message>
    <message>
        <source>С&amp;тарт !</source>
        <translation>S&amp;tart !</translation>
    </message>
    <message>
        <source>Сравнить свою таблицу с внешней</source>
        <translation>Compare your table with the external one</translation>
    </message>
    <message>
        <source>Ход проверки</source>
        <translation>The check</translation>
    </message>
    <message>
        <source>Найдено отличий:</source>
        <translation>Differences found:</translation>
    </message>
    <message>
        <source>Проверяется:</source>
        <translation>Checking:</translation>
    </message>
    <message>
        <source>С&amp;прятать</source>
        <translation>&amp;Hide</translation>
    </message>
    <message>
        <source>Убрать программу в область уведомлений, пока идёт сравнение</source>
        <translation>Put the program into the notification area while the comparison runs</translation>
    </message>
    <message>
        <source>З&amp;акрыть</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Закрыть окно синхронизации</source>
        <translation>Close the synchronisation window</translation>
    </message>
    <message>
        <source>Найденные несоответствия</source>
        <translation>Differences found</translation>
    </message>
    <message>
        <source>Отмеченные строки будут применены</source>
        <translation>The rows checked will be applied</translation>
    </message>
    <message>
        <source>Показывать &amp;дополнительную информацию</source>
        <translation>Show &amp;more information</translation>
    </message>
    <message>
        <source>Показывать под строкой, чем записи различаются</source>
        <translation>Show under each row how the records differ</translation>
    </message>
    <message>
        <source>Отметить все</source>
        <translation>Check all</translation>
    </message>
    <message>
        <source>Отметить все строки списка</source>
        <translation>Check every row of the list</translation>
    </message>
    <message>
        <source>Снять все</source>
        <translation>Uncheck all</translation>
    </message>
    <message>
        <source>Снять отметки со всех строк списка</source>
        <translation>Uncheck every row of the list</translation>
    </message>
    <message>
        <source>Какая часть отмеченных строк уже применена</source>
        <translation>How much of the rows checked is applied</translation>
    </message>
    <message>
        <source>Изменить в &amp;своей</source>
        <translation>Change &amp;mine</translation>
    </message>
    <message>
        <source>Изменить во &amp;внешней</source>
        <translation>Change the &amp;external</translation>
    </message>
    <message>
        <source>Отмеченные отличия вносятся в свою таблицу</source>
        <translation>The differences checked go into your table</translation>
    </message>
    <message>
        <source>Отмеченные отличия вносятся во внешнюю таблицу</source>
        <translation>The differences checked go into the external table</translation>
    </message>
    <message>
        <source>&lt;&lt; -- Проверить &amp;еще</source>
        <translation>&lt;&lt; -- Check &amp;again</translation>
    </message>
    <message>
        <source>Вернуться к выбору таблицы</source>
        <translation>Back to choosing the table</translation>
    </message>
    <message>
        <source>П&amp;рименить изменения</source>
        <translation>A&amp;pply the changes</translation>
    </message>
    <message>
        <source>Внести отмеченные отличия в таблицу</source>
        <translation>Put the differences checked into the table</translation>
    </message>
    <message>
        <source>Отличий: %1, отмечено: %2</source>
        <translation>Differences: %1, checked: %2</translation>
    </message>
    <message>
        <source>Организация</source>
        <translation>Organisation</translation>
    </message>
    <message>
        <source>Контакт</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>Фамилия И.О.</source>
        <translation>Surname and initials</translation>
    </message>
    <message>
        <source>Эта процедура находится в стадии тестирования.</source>
        <translation>This procedure is still being tested.</translation>
    </message>
    <message>
        <source>Прежде, чем воспользоваться ею, сохраните резервные копии файлов базы данных:</source>
        <translation>Before you use it, keep backup copies of the database files:</translation>
    </message>
    <message>
        <source>Продолжить выполнение?</source>
        <translation>Go on?</translation>
    </message>
</context>
<context>
    <name>abonex::TForm2</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Абонекс 
(служба 09 после 20:00)</source>
        <translation>Abonex 
(directory enquiries after 20:00)</translation>
    </message>
    <message>
        <source>Официальный сайт:</source>
        <translation>Official site:</translation>
    </message>
    <message>
        <source>Написать на support</source>
        <translation>Write to support</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Закрыть окно «О программе»</source>
        <translation>Close the &quot;About&quot; window</translation>
    </message>
    <message>
        <source>Абонекс</source>
        <translation>Abonex</translation>
    </message>
    <message>
        <source>Версия 4 от 14.02.2002</source>
        <translation>Version 4 of 14.02.2002</translation>
    </message>
    <message>
        <source>Редакция для домашнего компьютера</source>
        <translation>Edition for the home computer</translation>
    </message>
    <message>
        <source>Что нового в версии 4:</source>
        <translation>New in version 4:</translation>
    </message>
    <message>
        <source>- справочник организаций</source>
        <translation>- the organisations&apos; directory</translation>
    </message>
    <message>
        <source>- фавориты: свои контакты</source>
        <translation>- favourites: your own contacts</translation>
    </message>
    <message>
        <source>- набор номера через модем</source>
        <translation>- dialing through a modem</translation>
    </message>
    <message>
        <source>- импульсный и тоновый набор</source>
        <translation>- pulse and tone dialing</translation>
    </message>
    <message>
        <source>- обновление базы из другой копии</source>
        <translation>- updating the database from another copy</translation>
    </message>
    <message>
        <source>- значок в области уведомлений</source>
        <translation>- an icon in the notification area</translation>
    </message>
    <message>
        <source>Версия 3.1:</source>
        <translation>Version 3.1:</translation>
    </message>
    <message>
        <source>- поиск по любой части фамилии</source>
        <translation>- searching by any part of a surname</translation>
    </message>
    <message>
        <source>- поиск по части номера телефона</source>
        <translation>- searching by part of a phone number</translation>
    </message>
    <message>
        <source>- комментарии к записям</source>
        <translation>- comments on records</translation>
    </message>
    <message>
        <source>Версия 3.0:</source>
        <translation>Version 3.0:</translation>
    </message>
    <message>
        <source>- работа нескольких копий по сети</source>
        <translation>- several copies working over a network</translation>
    </message>
    <message>
        <source>- быстрый поиск по индексу</source>
        <translation>- fast searching by the index</translation>
    </message>
    <message>
        <source>Совет: пользуйтесь правой</source>
        <translation>Tip: use the right</translation>
    </message>
    <message>
        <source>кнопкой мыши и клавишами</source>
        <translation>mouse button and the keys</translation>
    </message>
    <message>
        <source>F2, F3, F4, F1 и Ctrl+Q.</source>
        <translation>F2, F3, F4, F1 and Ctrl+Q.</translation>
    </message>
    <message>
        <source>Разработка: команда Абонекс</source>
        <translation>Made by the Abonex team</translation>
    </message>
    <message>
        <source>Данные: городская справочная служба</source>
        <translation>Data: the town&apos;s directory enquiries service</translation>
    </message>
</context>
<context>
    <name>abonex::TTapiDial</name>
    <message>
        <source>Проверьте наличие и правильность подключения модема!</source>
        <translation>Check that the modem is there and connected properly!</translation>
    </message>
</context>
</TS>
