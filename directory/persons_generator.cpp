#include "directory/persons_generator.h"

#include <string_view>
#include <utility>

namespace abonex::demo {

namespace {

// Surnames in their masculine form; the feminine form adds "а" (or turns "ий" into "ая").
constexpr std::string_view kSurnames[] = {
    "Иванов",      "Смирнов",    "Кузнецов",     "Попов",      "Васильев",    "Петров",
    "Соколов",     "Михайлов",   "Новиков",      "Фёдоров",    "Морозов",     "Волков",
    "Алексеев",    "Лебедев",    "Семёнов",      "Егоров",     "Павлов",      "Козлов",
    "Степанов",    "Николаев",   "Орлов",        "Андреев",    "Макаров",     "Никитин",
    "Захаров",     "Зайцев",     "Соловьёв",     "Борисов",    "Яковлев",     "Григорьев",
    "Романов",     "Воробьёв",   "Сергеев",      "Кузьмин",    "Фролов",      "Александров",
    "Дмитриев",    "Королёв",    "Гусев",        "Киселёв",    "Ильин",       "Максимов",
    "Поляков",     "Сорокин",    "Виноградов",   "Ковалёв",    "Белов",       "Медведев",
    "Антонов",     "Тарасов",    "Жуков",        "Баранов",    "Филиппов",    "Комаров",
    "Давыдов",     "Беляев",     "Герасимов",    "Богданов",   "Осипов",      "Сидоров",
    "Матвеев",     "Титов",      "Марков",       "Миронов",    "Крылов",      "Куликов",
    "Карпов",      "Власов",     "Мельников",    "Денисов",    "Гаврилов",    "Тихонов",
    "Казаков",     "Афанасьев",  "Данилов",      "Савельев",   "Тимофеев",    "Фомин",
    "Чернов",      "Абрамов",    "Мартынов",     "Ефимов",     "Федотов",     "Щербаков",
    "Назаров",     "Калинин",    "Исаев",        "Чернышёв",   "Быков",       "Маслов",
    "Родионов",    "Коновалов",  "Лазарев",      "Воронин",    "Климов",      "Филатов",
    "Пономарёв",   "Голубев",    "Кудрявцев",    "Прохоров",   "Наумов",      "Потапов",
    "Журавлёв",    "Овчинников", "Трофимов",     "Леонов",     "Соболев",     "Ермаков",
    "Колесников",  "Гончаров",   "Емельянов",    "Никифоров",  "Грачёв",      "Котов",
    "Гришин",      "Ефремов",    "Архипов",      "Громов",     "Кириллов",    "Малышев",
    "Панов",       "Моисеев",    "Румянцев",     "Акимов",     "Кондратьев",  "Бирюков",
    "Горбунов",    "Анисимов",   "Ерёмин",       "Тихомиров",  "Галкин",      "Лукьянов",
    "Михеев",      "Скворцов",   "Юдин",         "Белоусов",   "Нестеров",    "Симонов",
    "Прокофьев",   "Харитонов",  "Князев",       "Цветков",    "Левин",       "Митрофанов",
    "Воронов",     "Аксёнов",    "Софронов",     "Мальцев",    "Логинов",     "Горшков",
    "Савин",       "Краснов",    "Майоров",      "Демидов",    "Елисеев",     "Рыбаков",
    "Сафонов",     "Плотников",  "Дёмин",        "Хохлов",     "Фадеев",      "Молчанов",
    "Игнатов",     "Литвинов",   "Ершов",        "Ушаков",     "Дементьев",   "Рябов",
    "Мухин",       "Калашников", "Леонтьев",     "Лобанов",    "Кузин",       "Корнеев",
    "Евдокимов",   "Бородин",    "Платонов",     "Некрасов",   "Балашов",     "Бобров",
    "Жданов",      "Блинов",     "Игнатьев",     "Ёлкин",      "Муравьёв",    "Крюков",
    "Беляков",     "Богомолов",  "Дроздов",      "Лавров",     "Зуев",        "Петухов",
    "Ларин",       "Никулин",    "Серов",        "Терентьев",  "Зотов",       "Устинов",
    "Фокин",       "Самойлов",   "Константинов", "Сахаров",    "Шишкин",      "Самсонов",
    "Черкасов",    "Чистяков",   "Носов",        "Спиридонов", "Карасёв",     "Авдеев",
    "Воронцов",    "Зверев",     "Владимиров",   "Селезнёв",   "Нечаев",      "Кудряшов",
    "Седов",       "Фирсов",     "Андрианов",    "Панин",      "Головин",     "Терехов",
    "Ульянов",     "Шестаков",   "Агеев",        "Никонов",    "Селиверстов", "Баженов",
    "Гордеев",     "Кожевников", "Пахомов",      "Зимин",      "Костин",      "Широков",
    "Филимонов",   "Ларионов",   "Овсянников",   "Сазонов",    "Суворов",     "Нефёдов",
    "Корнилов",    "Любимов",    "Львов",        "Горбачёв",   "Копылов",     "Лукин",
    "Токарев",     "Кулешов",    "Шилов",        "Большаков",  "Панкратов",   "Родин",
    "Шаповалов",   "Покровский", "Бочаров",      "Никольский", "Маркин",      "Горелов",
    "Агафонов",    "Березин",    "Ермолаев",     "Зубков",     "Куприянов",   "Трифонов",
    "Масленников", "Круглов",    "Третьяков",    "Колосов",    "Рожков",      "Артамонов",
    "Шмелёв",      "Лаптев",     "Лапшин",       "Федосеев",   "Зиновьев",    "Зорин",
    "Уткин",       "Столяров",   "Зубов",        "Ткачёв",     "Дорофеев",    "Антипов",
    "Завьялов",    "Свиридов",   "Золотарёв",    "Кулаков",    "Мещеряков",   "Макеев",
    "Дьяконов",    "Гуляев",     "Петровский",   "Бондарев",   "Поздняков",   "Панфилов",
    "Кочетков",    "Суханов",    "Рыжов",        "Старостин",  "Калмыков",    "Колесов",
    "Золотов",     "Кравцов",    "Субботин",     "Шубин",      "Щукин",       "Лосев",
    "Винокуров",   "Лапин",      "Парфёнов",     "Исаков",     "Голованов",   "Коротков",
    "Пестов",      "Мишин",      "Кононов",
};

constexpr std::string_view kInitials = "АБВГДЕЖЗИКЛМНОПРСТУФЭЮЯ";
constexpr std::string_view kStreets[] = {
    "ул. Ленина",   "ул. Советская",  "пр. Мира",      "ул. Гагарина",  "ул. Садовая",
    "ул. Школьная", "ул. Набережная", "пер. Почтовый", "ул. Заводская", "ул. Первомайская"};
constexpr std::string_view kCompanyKinds[] = {"ООО", "ЗАО", "ОАО", "ИП", "МУП", "ТОО"};
constexpr std::string_view kCompanyNames[] = {
    "Рассвет",  "Северное сияние", "Заря",      "Меридиан",  "Вектор",     "Стройсервис",
    "Агроснаб", "Теплосеть",       "Водоканал", "Автотранс", "Хлебозавод", "Мебельщик",
    "Радуга",   "Гранит",          "Берёзка",   "Связист",   "Электрон",   "Фармация",
    "Уют",      "Сибирь",          "Волга",     "Лада",      "Колос",      "Надежда"};
constexpr std::string_view kInstitutions[] = {
    "Школа №",          "Детский сад №",
    "Поликлиника №",    "Аптека №",
    "Библиотека №",     "Отделение связи №",
    "Парикмахерская №", "Магазин \"Продукты\" №",
    "Пожарная часть №", "Сберкасса №",
    "Ателье №",         "Гостиница \"Центральная\", корпус"};
constexpr std::string_view kHours[] = {
    "с 9:00 до 18:00",        "круглосуточно", "с 8:00 до 20:00", "обед с 13:00 до 14:00",
    "выходной - воскресенье", "приёмная",      "бухгалтерия",     "диспетчер"};
constexpr std::string_view kNotes[] = {
    "звонить после 18:00", "рабочий телефон",   "спросить Ольгу",   "есть факс",
    "по выходным на даче", "домашний",          "бывший абонент",   "номер уточнить в бюро",
    "подъезд со двора",    "код домофона 1234", "звонить до 21:00", "просил не беспокоить утром"};

// One Cyrillic capital letter (two UTF-8 bytes) of kInitials.
std::string_view initialAt(size_t index) {
    return kInitials.substr(2 * index, 2);
}

// `utf8` cut to its first `characters` characters.
std::string firstCharacters(std::string utf8, size_t characters) {
    size_t at = 0;
    for (size_t count = 0; at < utf8.size() && count < characters; ++count) {
        ++at;
        while (at < utf8.size() && (static_cast<uint8_t>(utf8[at]) & 0xC0) == 0x80) ++at;
    }
    utf8.resize(at);
    return utf8;
}

}  // namespace

PersonsGenerator::PersonsGenerator(uint64_t seed) : m_state(seed ^ 0x9E3779B97F4A7C15ull) {}

// splitmix64: the same sequence on every platform.
uint64_t PersonsGenerator::nextRandom() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string PersonsGenerator::phone() {
    const uint64_t n = 100000 + below(900000);
    std::string digits = std::to_string(n);
    return digits.substr(0, 2) + "-" + digits.substr(2, 2) + "-" + digits.substr(4, 2);
}

std::string PersonsGenerator::address() {
    return std::string(kStreets[below(std::size(kStreets))]) + ", д. " +
           std::to_string(1 + below(120));
}

DirectoryRow PersonsGenerator::nextOrganisation() {
    DirectoryRow row;
    std::string name;
    if (below(3) == 0) {
        name = std::string(kInstitutions[below(std::size(kInstitutions))]) + " " +
               std::to_string(1 + below(40));
    } else {
        name = std::string(kCompanyKinds[below(std::size(kCompanyKinds))]) + " \"" +
               std::string(kCompanyNames[below(std::size(kCompanyNames))]) + "\"";
        if (below(4) == 0) name += ", " + std::string(kHours[below(std::size(kHours))]);
    }
    row.name = firstCharacters(std::move(name), 100);
    row.phone1 = phone();
    if (below(2) == 0) row.phone2 = phone();
    row.comment =
        firstCharacters(address() + "; " + std::string(kHours[below(std::size(kHours))]), 250);
    return row;
}

DirectoryRow PersonsGenerator::next() {
    DirectoryRow row;
    // Common surnames come up more often: the square of a uniform index leans to the front.
    const uint64_t count = std::size(kSurnames);
    const uint64_t pick = below(count) * below(count) / count;
    std::string surname(kSurnames[pick]);
    if (below(2) == 0) {
        if (surname.size() >= 4 && surname.ends_with("ий")) {
            surname.replace(surname.size() - 4, 4, "ая");
        } else if (surname.ends_with("ин") || surname.ends_with("ов") || surname.ends_with("ев") ||
                   surname.ends_with("ёв")) {
            surname += "а";
        }
    }
    const size_t letters = kInitials.size() / 2;
    std::string name = surname + " " + std::string(initialAt(below(letters))) + "." +
                       std::string(initialAt(below(letters))) + ".";
    row.name = std::move(name);
    row.phone1 = phone();
    if (below(4) == 0) row.phone2 = phone();
    std::string comment = std::string(kStreets[below(std::size(kStreets))]) + ", д. " +
                          std::to_string(1 + below(120)) + ", кв. " +
                          std::to_string(1 + below(300)) + "; ";
    while (comment.size() < 380) {
        comment += std::string(kNotes[below(std::size(kNotes))]) + "; ";
    }
    row.comment = firstCharacters(std::move(comment), 250);
    return row;
}

void writePersonsTable(const std::string& path, int count, uint64_t seed, NameIndex index) {
    DirectoryTableWriter writer(path, directoryTable(DirectoryMode::Persons), index);
    PersonsGenerator generator(seed);
    for (int i = 0; i < count; ++i) writer.add(generator.next());
    writer.finish();
}

}  // namespace abonex::demo
