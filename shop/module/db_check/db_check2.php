<?php
/*
 * db_check2.php - the SQL gateway for servers that accept no values in the
 * address ("Globals Off"): every value comes from the posted form "form1".
 * Same answers as db_check.php, whose functions it uses.
 */

define('MV_DB_CHECK_INCLUDED', 1);
require __DIR__ . '/db_check.php';

try {
    mv_run(true);
} catch (Exception $e) {
    echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
} catch (Throwable $e) {
    echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
}
