#include "korvex-demo-portals/demo_accounts.h"

namespace korvex {

std::vector<std::pair<PortalId, DemoAccount>> stockDemoAccounts() {
    using P = PortalId;
    // login, password, holder, balance, speed, status, tariff, traffic, STV gate
    // clang-format off
    return {
        {P::SpectrumSat, {"sps_ivanov", "Qw3rty-71", "Иванов Сергей Петрович", "42.15", "256.00", "Active",
                          "Home 256", "", "", {}}},
        {P::SpectrumSat, {"sps_petrova", "lEto2009", "Петрова Анна Викторовна", "-3.80", "128.00", "Blocked",
                          "Home 128", "", "", {}}},
        {P::SpectrumSat, {"sps_kozlov", "k0zl0v!77", "Козлов Дмитрий Андреевич", "118.60", "1024.00",
                          "Active", "Office 1024", "", "", {}}},

        {P::Raduga, {"r_smirnov", "Raduga#2024", "Смирнов Алексей Игоревич", "350.00", "512 Кбит/с",
                     "Активна", "Домашний безлимит 512", "", "", {}}},
        {P::Raduga, {"r_volkova", "vlk_555", "Волкова Елена Сергеевна", "-12.40", "256 Кбит/с",
                     "Приостановлена", "Эконом 256", "", "", {}}},

        {P::SpaceGate75, {"sg75_orlov", "0rlov#75", "Орлов Николай Васильевич", "18.60", "1000.00", "active",
                          "Unlimited 1024", "", "", {}}},
        {P::SpaceGate75, {"sg75_lebedeva", "Lebed-2010", "Лебедева Ольга Михайловна", "5.25", "500.00",
                          "active", "Night 512", "", "", {}}},

        {P::SpaceGate39, {"sg39_morozov", "moroz39!", "Морозов Игорь Павлович", "33.10", "2000.00", "active",
                          "Unlimited 2048", "", "", {}}},
        {P::SpaceGate39, {"sg39_sokolova", "S0kol", "Соколова Мария Ивановна", "0.75", "250.00", "suspended",
                          "Economy 256", "", "", {}}},

        {P::SpaceGate95, {"sg95_popov", "popov_95", "Попов Виктор Семёнович", "61.00", "4000.00", "active",
                          "Business 4096", "", "", {}}},
        {P::SpaceGate95, {"sg95_kuznetsova", "kuz-95-net", "Кузнецова Татьяна Олеговна", "12.90", "1000.00",
                          "active", "Unlimited 1024", "", "", {}}},

        {P::SpaceGate15_21, {"sg15_novikov", "nov15", "Новиков Павел Андреевич", "8.40", "500.00", "active",
                             "Prepaid 512", "", "", {}}},
        {P::SpaceGate15_21, {"sg15_fedorova", "fed-15-ora", "Фёдорова Ирина Юрьевна", "14.00", "250.00",
                             "active", "Economy 256", "", "", {}}},
        {P::SpaceGate15_21, {"sg21_egorov", "Eg0r21", "Егоров Максим Олегович", "27.35", "1000.00", "active",
                             "Unlimited 1024", "", "", {}}},
        {P::SpaceGate15_21, {"sg21_pavlova", "pavl0va21", "Павлова Наталья Петровна", "3.05", "125.00",
                             "suspended", "Economy 128", "", "", {}}},

        {P::PlanetSky, {"ps_vasiliev", "planet53", "Васильев Андрей Николаевич", "27.90", "1000.00",
                        "активен", "Безлимитный 1024", "", "", {}}},
        {P::PlanetSky, {"ps_zaitseva", "Zai-PS-7", "Зайцева Светлана Александровна", "-1.20", "250.00",
                        "заблокирован", "Ночной 256", "", "", {}}},

        {P::Globax, {"gl_romanov", "glbx2007", "Романов Юрий Степанович", "315.40", "", "active", "Day",
                     "1048576", "", {}}},
        {P::Globax, {"gl_belova", "B3lova", "Белова Галина Фёдоровна", "12.00", "", "active", "Night",
                     "20480", "", {}}},

        {P::SatGate, {"sat_grigoriev", "grig42", "Григорьев Олег Борисович", "12.50", "512", "active",
                      "Unlimited", "", "", {}}},
        {P::SatGate, {"sat_titova", "T1tova-SG", "Титова Людмила Евгеньевна", "104.75", "1024", "active",
                      "Business", "", "", {}}},
        {P::SatGate, {"sat_kiselev", "kis31", "Киселёв Артём Романович", "0.90", "256", "active", "Economy",
                      "", "", {}}},
        {P::SatGate, {"sat_makarova", "mak5", "Макарова Вера Ильинична", "47.00", "128", "active", "Night",
                      "", "", {}}},

        {P::SkyFi, {"sf_nikitin", "SkyF1-nik", "Никитин Роман Алексеевич", "450.00", "500.00", "Активен",
                    "Стандарт 512", "", "", {}}},
        {P::SkyFi, {"sf_zakharova", "zah@rova", "Захарова Ксения Дмитриевна", "1200.00", "1000.00", "Активен",
                    "Премиум 1024", "", "", {}}},
        {P::SkyFi, {"sf_sorokin", "sor0kin", "Сорокин Илья Викторович", "35.50", "250.00", "Заблокирован",
                    "Эконом 256", "", "", {}}},

        {P::Stv, {"stv_alekseev", "stv-60", "Алексеев Константин Львович", "1200.00", "", "Подключен",
                  "Спутниковый Базовый", "", "insat", {}}},
        {P::Stv, {"stv_yakovleva", "Yak0vleva", "Яковлева Дарья Андреевна", "860.50", "", "Подключен",
                  "Спутниковый Оптимальный", "", "insat", {}}},
        {P::Stv, {"stv_stepanov", "step602", "Степанов Глеб Иванович", "2450.00", "", "Подключен",
                  "Спутниковый Максимальный", "", "insat2", {}}},
        {P::Stv, {"stv_guseva", "gus-STV2", "Гусева Полина Сергеевна", "3100.00", "", "Отключен",
                  "Транспондер 2 — Безлимит", "", "insat2", {}}},
    };
    // clang-format on
}

}  // namespace korvex
