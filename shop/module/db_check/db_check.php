<?php
/*
 * db_check.php - SQL gateway of the shop for the DatenManager.
 *
 * Runs one SQL text per request against the shop database and answers in
 * plain text marks that the DatenManager reads:
 *
 *   request   insert=1 (statement) or show=2 (query), debug=1 (optional),
 *             dbhost ("host" or "host:port"), dbname, dbuser, dbpass,
 *             sql_query (the SQL text), xxl (ignored, defeats caches),
 *             charset (optional: the character set of every text of the
 *             request, "windows-1252" or "utf-8")
 *             The DatenManager posts the access data (dbhost, dbname,
 *             dbuser, dbpass) in the request body, never in the address.
 *   statement ###row_count:N#            rows affected (or rows read)
 *             ###error:N#                MySQL error number
 *   query     +++datatype+++             then one ###column:type+length#
 *                                        per column (int, real, date,
 *                                        time, datetime, timestamp, year,
 *                                        string, blob); integers that need
 *                                        64 bits (BIGINT, INT UNSIGNED)
 *                                        have the length 20
 *             +++newline+++              then one ###column:value# per
 *                                        column for each row; a NULL cell
 *                                        is left out (the page head says
 *                                        so: <meta name="db_check"
 *                                        content="nulls-unnamed">), an
 *                                        empty text is an empty value, and
 *                                        so is a zero DATE
 *             ###error:N#                alone, when the query failed,
 *                                        followed by "MySQL: " and the text
 *   Lines end with <br>. Text before the first +++ mark is not data.
 *
 * Values and column names never contain a raw "#", line break, "<", ">",
 * "+++newline+++" or "+++datatype+++": the script writes "#" as &#35;,
 * CR as &#13;, LF as &#10;, "<" as &#60;, ">" as &#62; and the first "+"
 * of the two marks as &#43; (in names also ":" as &#58;), so no markup of
 * the data is ever part of the page. Reading back:
 * an entry's value ends at the first "#" that is not part of a decimal
 * reference "&#" digits ";", and every such reference is the character
 * of that code. Since every "#" of the data is written as &#35;, a
 * literal "&#35;" in the data arrives as "&&#35;35;" and reads back
 * unchanged.
 *
 * Without sql_query the page shows the form "form1" (fields dbhost,
 * dbname, dbuser, dbpass, debug, show, insert, sql_query, button Submit).
 * db_check.php takes its values from the address and from a posted form
 * (posted values win); db_check2.php ("Globals Off") only from the posted
 * form.
 *
 * Character set: the connection and the page use the shop's character set,
 * "$dbcharset" in config/config.php (latin1, which MySQL treats as
 * Windows-1252, when the file has none); the page says so in its
 * Content-Type header. The texts of a request are read in the character
 * set its "charset" value names; without one, a text that is valid UTF-8
 * is read as UTF-8 and any other as Windows-1252. Either way the server
 * gets the statement in UTF-8 and stores it in the shop's character set,
 * so a latin1 and a utf8mb4 shop store and compare the same text. The
 * session adds NO_BACKSLASH_ESCAPES to sql_mode, so a backslash in a
 * quoted text is an ordinary character.
 *
 * Database host: the script connects only to the host that "$dbhost" of
 * config/config.php names ("localhost", "127.0.0.1" and "::1" are one
 * host; no port means 3306); while no host is configured, only to the
 * local host. A request naming any other host gets error 1130 and no
 * connection is opened, so the script relays nothing to other servers.
 *
 * Works with PHP 7.0 to 8.x and mysqli.
 */

// A value of config/config.php ("$name = "value";", the last assignment
// counts, as when PHP runs it), or null when the file has none. The file is
// read, not run, so nothing in it can disturb the answer.
function mv_config_value($name)
{
    static $text = null;
    if ($text === null) {
        $file = __DIR__ . '/../../config/config.php';
        $text = @is_readable($file) ? @file_get_contents($file) : '';
        if (!is_string($text)) {
            $text = '';
        }
    }
    $re = '/^[ \t]*\$' . preg_quote($name, '/')
        . '[ \t]*=[ \t]*(?:"((?:[^"\\\\]|\\\\.)*)"|\'((?:[^\'\\\\]|\\\\.)*)\')/m';
    if (!preg_match_all($re, $text, $m, PREG_SET_ORDER)) {
        return null;
    }
    $last = $m[count($m) - 1];
    if (isset($last[2]) && $last[2] !== '') {
        return strtr($last[2], array("\\\\" => "\\", "\\'" => "'"));
    }
    return strtr($last[1], array("\\\\" => "\\", '\\"' => '"', '\\$' => '$'));
}

// The shop's character set: "$dbcharset" of config/config.php, else latin1.
function mv_configured_charset()
{
    $cs = mv_config_value('dbcharset');
    if ($cs !== null && preg_match('/^[A-Za-z0-9_]+$/', $cs) === 1) {
        return strtolower($cs);
    }
    return 'latin1';
}

if (!defined('MV_DB_CHARSET')) {
    define('MV_DB_CHARSET', mv_configured_charset());
}

// Never let a PHP notice or warning into the answer page.
@ini_set('display_errors', '0');
@ini_set('html_errors', '0');
error_reporting(E_ALL);
if (function_exists('mysqli_report')) {
    mysqli_report(MYSQLI_REPORT_OFF);
}

function mv_http_charset($cs)
{
    $cs = strtolower($cs);
    if ($cs === 'latin1') {
        return 'windows-1252';
    }
    if ($cs === 'utf8' || $cs === 'utf8mb3' || $cs === 'utf8mb4') {
        return 'utf-8';
    }
    return $cs;
}

function mv_charset_width($cs)
{
    $cs = strtolower($cs);
    if ($cs === 'utf8mb4') {
        return 4;
    }
    if ($cs === 'utf8' || $cs === 'utf8mb3') {
        return 3;
    }
    if ($cs === 'ucs2' || $cs === 'utf16') {
        return 2;
    }
    if ($cs === 'utf32') {
        return 4;
    }
    return 1;
}

// Marks-safe value: see the head comment.
function mv_value($s)
{
    static $map = array(
        '#' => '&#35;',
        "\r" => '&#13;',
        "\n" => '&#10;',
        // No markup of the data reaches the page (the answer is text/html).
        '<' => '&#60;',
        '>' => '&#62;',
        '+++newline+++' => '&#43;++newline+++',
        '+++datatype+++' => '&#43;++datatype+++',
    );
    return strtr((string)$s, $map);
}

// Column names also lose ":", which would end the name.
function mv_name($s)
{
    return str_replace(':', '&#58;', mv_value($s));
}

// Text for people (debug lines, error messages, form values): HTML-escaped
// and free of "#" and "+" so it can never be read as a mark.
function mv_html($s)
{
    return strtr((string)$s, array(
        '&' => '&amp;', '<' => '&lt;', '>' => '&gt;', '"' => '&quot;',
        "'" => '&#39;', '#' => '&#35;', '+' => '&#43;',
    ));
}

// The query string split at "&" only: a ";" in the SQL text must not end a
// value even where arg_separator.input includes it.
function mv_query_params()
{
    $params = array();
    $qs = isset($_SERVER['QUERY_STRING']) ? (string)$_SERVER['QUERY_STRING'] : '';
    if ($qs === '') {
        return $params;
    }
    foreach (explode('&', $qs) as $part) {
        if ($part === '') {
            continue;
        }
        $eq = strpos($part, '=');
        if ($eq === false) {
            $params[urldecode($part)] = '';
        } else {
            $params[urldecode(substr($part, 0, $eq))] = urldecode(substr($part, $eq + 1));
        }
    }
    return $params;
}

function mv_param($params, $name)
{
    if (isset($params[$name]) && is_string($params[$name])) {
        return $params[$name];
    }
    return '';
}

function mv_is_utf8_text($s)
{
    // Only texts with bytes above 127 can tell; those must be valid UTF-8.
    return preg_match('/[\x80-\xFF]/', $s) === 1 && preg_match('//u', $s) === 1;
}

// Windows-1252 to UTF-8 without mbstring or iconv (a web host may lack
// both). The five bytes Windows-1252 leaves open keep their code points, as
// MySQL's latin1 does.
function mv_cp1252_to_utf8($s)
{
    if (preg_match('/[\x80-\xFF]/', $s) !== 1) {
        return $s;
    }
    static $high = array(
        0x80 => 0x20AC, 0x82 => 0x201A, 0x83 => 0x0192, 0x84 => 0x201E, 0x85 => 0x2026, 0x86 => 0x2020,
        0x87 => 0x2021, 0x88 => 0x02C6, 0x89 => 0x2030, 0x8A => 0x0160, 0x8B => 0x2039, 0x8C => 0x0152,
        0x8E => 0x017D, 0x91 => 0x2018, 0x92 => 0x2019, 0x93 => 0x201C, 0x94 => 0x201D, 0x95 => 0x2022,
        0x96 => 0x2013, 0x97 => 0x2014, 0x98 => 0x02DC, 0x99 => 0x2122, 0x9A => 0x0161, 0x9B => 0x203A,
        0x9C => 0x0153, 0x9E => 0x017E, 0x9F => 0x0178,
    );
    return preg_replace_callback('/[\x80-\xFF]/', function ($m) use ($high) {
        $b = ord($m[0]);
        $c = isset($high[$b]) ? $high[$b] : $b;
        if ($c < 0x800) {
            return chr(0xC0 | ($c >> 6)) . chr(0x80 | ($c & 0x3F));
        }
        return chr(0xE0 | ($c >> 12)) . chr(0x80 | (($c >> 6) & 0x3F)) . chr(0x80 | ($c & 0x3F));
    }, $s);
}

// A request text in UTF-8: read in the character set the request names,
// else UTF-8 when it is valid UTF-8, else Windows-1252.
function mv_request_text_utf8($s, $declared)
{
    $declared = strtolower(trim($declared));
    if ($declared === 'utf-8' || $declared === 'utf8' || $declared === 'utf8mb4') {
        return $s;
    }
    if ($declared === '' && (preg_match('/[\x80-\xFF]/', $s) !== 1 || preg_match('//u', $s) === 1)) {
        return $s;
    }
    return mv_cp1252_to_utf8($s);
}

// Host, port and socket as one comparable key; the local host's names are
// one host and no port is MySQL's 3306.
function mv_host_key($host)
{
    list($h, $port, $socket) = mv_split_host($host);
    $h = strtolower(trim($h));
    if ($h === '' || $h === 'localhost' || $h === '127.0.0.1' || $h === '::1') {
        $h = 'localhost';
    }
    return array($h, $port === null ? 3306 : (int)$port, $socket === null ? '' : $socket);
}

// Whether the script may connect to the requested host: only the one
// config.php configures; while none is configured, only the local host.
function mv_host_allowed($requested, $configured)
{
    $r = mv_host_key($requested);
    if ($configured === null || trim($configured) === '') {
        return $r[0] === 'localhost';
    }
    $c = mv_host_key($configured);
    if ($r[0] !== $c[0] || $r[2] !== $c[2]) {
        return false;
    }
    // A socket connection has no port to compare.
    return $r[2] !== '' || $r[1] === $c[1];
}

// "host", "host:port", "[v6]:port", "localhost:/path/to/socket"
function mv_split_host($host)
{
    $host = trim($host);
    $port = null;
    $socket = null;
    if ($host === '') {
        return array('localhost', null, null);
    }
    if ($host[0] === '[') {
        $end = strpos($host, ']');
        if ($end !== false) {
            $rest = substr($host, $end + 1);
            $h = substr($host, 1, $end - 1);
            if (strlen($rest) > 1 && $rest[0] === ':' && preg_match('/^[0-9]+$/', substr($rest, 1)) === 1) {
                $port = (int)substr($rest, 1);
            }
            return array($h, $port, null);
        }
    }
    $colon = strrpos($host, ':');
    if ($colon !== false && substr_count($host, ':') === 1) {
        $tail = substr($host, $colon + 1);
        $h = substr($host, 0, $colon);
        if ($tail !== '' && preg_match('/^[0-9]+$/', $tail) === 1) {
            $port = (int)$tail;
            $host = $h;
            // "localhost" would take the local socket and ignore the port.
            if (strtolower($host) === 'localhost') {
                $host = '127.0.0.1';
            }
        } elseif ($tail !== '' && $tail[0] === '/') {
            $socket = $tail;
            $host = $h;
        }
    }
    return array($host, $port, $socket);
}

function mv_type_text($f, $width)
{
    $t = (int)$f->type;
    $len = (int)$f->length;
    switch ($t) {
        case 1: case 2: case 3: case 8: case 9: case 16:
            $name = 'int';
            // 64 bits, whatever display width was declared: BIGINT, and
            // INT UNSIGNED (up to 2^32 - 1).
            if ($t === 8 || ($t === 3 && ((int)$f->flags & 32))) {
                $len = 20;
            }
            break;
        case 0: case 4: case 5: case 246:
            $name = 'real';
            break;
        case 7:
            $name = 'timestamp';
            break;
        case 10: case 14:
            $name = 'date';
            break;
        case 11:
            $name = 'time';
            break;
        case 12:
            $name = 'datetime';
            break;
        case 13:
            $name = 'year';
            break;
        case 245: case 249: case 250: case 251: case 252:
            $name = 'blob';
            break;
        case 6:
            $name = 'null';
            break;
        case 15: case 247: case 248: case 253: case 254:
            $name = 'string';
            // Lengths come in bytes of the page's character set.
            if ((int)$f->charsetnr !== 63 && $width > 1) {
                $len = (int)ceil($len / $width);
            }
            break;
        default:
            $name = 'unknown';
    }
    return $name . '+' . $len;
}

function mv_page_start($charset)
{
    echo '<html><head><meta http-equiv="Content-Type" content="text/html; charset=', $charset,
        '"><meta name="db_check" content="nulls-unnamed">', mv_batch_meta(), '<title>db_check</title></head><body>', "\n";
}

function mv_page_end()
{
    echo "</body></html>\n";
}

function mv_form($script, $charset, $v)
{
    mv_page_start($charset);
    echo '<form name="form1" id="form1" method="post" action="', mv_html($script),
        '" accept-charset="', $charset, '">', "\n";
    $fields = array('dbhost' => 'text', 'dbname' => 'text', 'dbuser' => 'text', 'dbpass' => 'password',
        'debug' => 'text', 'show' => 'text', 'insert' => 'text');
    foreach ($fields as $name => $type) {
        // The password is never written back into a page.
        $value = ($name !== 'dbpass' && isset($v[$name])) ? $v[$name] : '';
        echo $name, ': <input type="', $type, '" name="', $name, '" value="', mv_html($value), '"><br>', "\n";
    }
    // The form is sent in the page's character set; this says which.
    echo '<input type="hidden" name="charset" value="', $charset, '">', "\n";
    echo 'sql_query:<br><textarea name="sql_query" rows="10" cols="80"></textarea><br>', "\n";
    echo '<input type="submit" name="Submit" value="Submit">', "\n";
    echo "</form>\n";
    mv_page_end();
}

function mv_error_answer($errno, $error)
{
    echo '###error:', (int)$errno, '#<br>', "\n";
    if ($error !== '') {
        echo 'MySQL: ', mv_html($error), "<br>\n";
    }
}

// Connects for a request: only to the configured database host, in the
// shop's character set, backslashes literal, the database selected. An
// unknown database is remembered, not reported, so that "SHOW DATABASES"
// and "CREATE DATABASE" still run; $dbErrno/$dbError tell it. On failure
// the error answer and the page end are written and null comes back.
function mv_connect($v, $charset, &$dbErrno, &$dbError)
{
    $configuredHost = mv_config_value('dbhost');
    $requestedHost = $v['dbhost'];
    if (trim($requestedHost) === '' && $configuredHost !== null) {
        $requestedHost = $configuredHost;
    }
    if (!mv_host_allowed($requestedHost, $configuredHost)) {
        mv_error_answer(1130, 'Der Datenbankserver "' . $requestedHost . '" ist nicht der in config/config.php '
            . 'eingetragene ($dbhost); das Gateway verbindet sich mit keinem anderen.');
        mv_page_end();
        return null;
    }
    list($host, $port, $socket) = mv_split_host($requestedHost);
    $db = mysqli_init();
    if (!$db) {
        mv_error_answer(2000, 'mysqli_init');
        mv_page_end();
        return null;
    }
    @$db->options(MYSQLI_OPT_CONNECT_TIMEOUT, 20);
    // The user name in the handshake is UTF-8 too (the client's default
    // would be latin1 on some PHP versions).
    if (defined('MYSQLI_SET_CHARSET_NAME')) {
        @$db->options(MYSQLI_SET_CHARSET_NAME, 'utf8mb4');
    }
    if (!@$db->real_connect($host, $v['dbuser'], $v['dbpass'], null, $port, $socket)) {
        $errno = mysqli_connect_errno();
        mv_error_answer($errno ? $errno : 2002, (string)mysqli_connect_error());
        mv_page_end();
        return null;
    }
    if (!@$db->set_charset($charset)) {
        mv_error_answer($db->errno ? $db->errno : 2019, (string)$db->error);
        @$db->close();
        mv_page_end();
        return null;
    }
    @$db->query("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'NO_BACKSLASH_ESCAPES')");
    if (mv_http_charset($charset) !== 'utf-8') {
        // The statements come in UTF-8; their texts reach the tables and the
        // answer in the shop's character set.
        @$db->query('SET character_set_client = utf8mb4');
    }
    $dbErrno = 0;
    $dbError = '';
    $dbname = trim($v['dbname']);
    if ($dbname !== '' && !@$db->select_db($dbname)) {
        $dbErrno = $db->errno;
        $dbError = (string)$db->error;
    }
    return $db;
}

function mv_run($globalsOff)
{
    $charset = MV_DB_CHARSET;
    $httpCharset = mv_http_charset($charset);
    if (!headers_sent()) {
        header('Content-Type: text/html; charset=' . $httpCharset);
        header('Cache-Control: no-store, no-cache, must-revalidate');
        header('Pragma: no-cache');
        header('Expires: 0');
    }

    $post = (isset($_POST) && is_array($_POST)) ? $_POST : array();
    if ($globalsOff) {
        $params = $post;
    } else {
        $params = array_merge(mv_query_params(), $post);
    }
    $v = array();
    foreach (array('dbhost', 'dbname', 'dbuser', 'dbpass', 'debug', 'show', 'insert', 'sql_query', 'charset') as $n) {
        $v[$n] = mv_param($params, $n);
    }
    $script = $globalsOff ? 'db_check2.php' : 'db_check.php';

    if (isset($post['batch']) || isset($post['batchz'])) {
        mv_run_batch($v, $post, $httpCharset);
        return;
    }

    $sql = $v['sql_query'];
    if (trim($sql) === '') {
        mv_form($script, $httpCharset, $globalsOff ? array() : $v);
        return;
    }

    $sentSql = $sql;
    // Every text of the request in UTF-8 (the connection's client side).
    foreach (array('dbhost', 'dbname', 'dbuser', 'dbpass', 'sql_query') as $n) {
        $v[$n] = mv_request_text_utf8($v[$n], $v['charset']);
    }
    $sql = $v['sql_query'];

    @set_time_limit(0);
    $isQuery = trim($v['show']) === '2';
    $debug = trim($v['debug']) === '1';
    $started = microtime(true);

    mv_page_start($httpCharset);
    if ($debug) {
        // In the page's character set as far as the request allows.
        $shown = $httpCharset === 'utf-8' ? $sql : $sentSql;
        $shown = strlen($shown) > 300 ? substr($shown, 0, 300) . ' ...' : $shown;
        echo '<!-- ', mv_html($shown), ' -->', "\n";
    }

    $dbErrno = 0;
    $dbError = '';
    $db = mv_connect($v, $charset, $dbErrno, $dbError);
    if ($db === null) {
        return;
    }

    $result = @$db->query($sql, MYSQLI_USE_RESULT);
    if ($result === false) {
        $errno = $db->errno;
        $error = (string)$db->error;
        if ($errno === 1046 && $dbErrno) {
            $errno = $dbErrno;
            $error = $dbError;
        }
        mv_error_answer($errno ? $errno : 2000, $error);
    } elseif ($result === true) {
        $n = $db->affected_rows;
        echo '###row_count:', ($n < 0 ? 0 : $n), '#<br>', "\n";
        if ($isQuery) {
            // No columns: an empty type record keeps the answer a query answer.
            echo "+++datatype+++<br>\n";
        }
    } else {
        $fields = $result->fetch_fields();
        if (!is_array($fields)) {
            $fields = array();
        }
        $names = array();
        $isDate = array();
        foreach ($fields as $i => $f) {
            $names[$i] = mv_name($f->name);
            $isDate[$i] = ((int)$f->type === 10 || (int)$f->type === 14);
        }
        $rows = 0;
        if ($isQuery) {
            $width = mv_charset_width($charset);
            echo "+++datatype+++<br>\n";
            foreach ($fields as $i => $f) {
                echo '###', $names[$i], ':', mv_type_text($f, $width), '#<br>', "\n";
            }
            $count = count($names);
            while (($row = $result->fetch_row()) !== null && $row !== false) {
                $out = "+++newline+++<br>\n";
                for ($i = 0; $i < $count; $i++) {
                    $cell = $row[$i];
                    if ($cell === null) {
                        continue; // NULL: not named
                    }
                    if ($isDate[$i] && $cell === '0000-00-00') {
                        $cell = '';
                    }
                    $out .= '###' . $names[$i] . ':' . mv_value($cell) . "#<br>\n";
                }
                echo $out;
                ++$rows;
            }
        } else {
            while (($row = $result->fetch_row()) !== null && $row !== false) {
                ++$rows;
            }
        }
        $errno = $db->errno;
        $error = (string)$db->error;
        $result->free();
        if ($errno) {
            // Failed while reading: a last record carries the error.
            if ($isQuery) {
                echo "+++newline+++<br>\n";
            }
            mv_error_answer($errno, $error);
        } elseif (!$isQuery) {
            echo '###row_count:', $rows, '#<br>', "\n";
        }
    }
    @$db->close();
    if ($debug) {
        echo '<!-- ', round((microtime(true) - $started) * 1000), ' ms -->', "\n";
    }
    mv_page_end();
}

// ---------------------------------------------------------------- batches
//
// Many writing statements in one request. The posted value "batch" holds
// them one after another, each as "<bytes>:<text>," (its length in bytes of
// the request's character set); "batchz" holds the same zlib-compressed and
// base64-coded. Every statement runs, also after a refused one. The answer
// has "+++batch+++" and then per statement "+++statement:N+++" (N counts
// from 0) followed by its usual marks (###row_count:N# or ###error:N# with
// "MySQL: " and the text), and at the end "+++batchend:N+++", the number of
// statements run. Statements after N did not run (the time guard below, or
// the database server went away) and may be sent again. Every page head
// announces batches and this server's limits:
//   <meta name="db_check_batch" content="statements; gzip; post_max_size=N;
//    max_input_vars=N; max_execution_time=N">
// (gzip only where zlib is there; sizes in bytes, 0 = no limit).

// A php.ini size ("8M", "512K", "1G") in bytes; 0 = no limit.
function mv_ini_bytes($value)
{
    $value = trim((string)$value);
    if ($value === '') {
        return 0;
    }
    $n = (float)$value;
    switch (strtolower(substr($value, -1))) {
        case 'g':
            $n *= 1024;
            // no break
        case 'm':
            $n *= 1024;
            // no break
        case 'k':
            $n *= 1024;
    }
    return $n > 0 ? (int)$n : 0;
}

function mv_batch_meta()
{
    $parts = array('statements');
    if (function_exists('gzuncompress')) {
        $parts[] = 'gzip';
    }
    $parts[] = 'post_max_size=' . mv_ini_bytes(ini_get('post_max_size'));
    $parts[] = 'max_input_vars=' . (int)ini_get('max_input_vars');
    $parts[] = 'max_execution_time=' . (int)ini_get('max_execution_time');
    return '<meta name="db_check_batch" content="' . implode('; ', $parts) . '">';
}

// The statements of a batch value; null when the value is malformed.
function mv_batch_statements($data)
{
    $list = array();
    $len = strlen($data);
    $p = 0;
    while ($p < $len) {
        $colon = strpos($data, ':', $p);
        if ($colon === false || $colon === $p || $colon - $p > 12) {
            return null;
        }
        $digits = substr($data, $p, $colon - $p);
        if (preg_match('/^[0-9]+$/', $digits) !== 1) {
            return null;
        }
        $n = (int)$digits;
        if ($colon + 1 + $n >= $len || $data[$colon + 1 + $n] !== ',') {
            return null;
        }
        $list[] = substr($data, $colon + 1, $n);
        $p = $colon + 2 + $n;
    }
    return $list;
}

function mv_run_batch($v, $post, $httpCharset)
{
    $charset = MV_DB_CHARSET;
    @set_time_limit(0);
    $started = microtime(true);
    // Stop taking statements well before a host would cut the request.
    $limit = (int)ini_get('max_execution_time');
    $guard = $limit > 0 ? max(1.0, min(20.0, $limit / 3.0)) : 20.0;

    mv_page_start($httpCharset);
    if (isset($post['batchz'])) {
        $raw = base64_decode(strtr((string)$post['batchz'], '-_', '+/'), true);
        $data = ($raw !== false && function_exists('gzuncompress')) ? @gzuncompress($raw) : false;
    } else {
        $data = (string)$post['batch'];
    }
    $list = is_string($data) ? mv_batch_statements($data) : null;
    if ($list === null) {
        mv_error_answer(1064, 'Der Stapel von Anweisungen ist unvollständig oder beschädigt.');
        mv_page_end();
        return;
    }
    foreach (array('dbhost', 'dbname', 'dbuser', 'dbpass') as $n) {
        $v[$n] = mv_request_text_utf8($v[$n], $v['charset']);
    }

    $dbErrno = 0;
    $dbError = '';
    $db = mv_connect($v, $charset, $dbErrno, $dbError);
    if ($db === null) {
        return;
    }

    echo "+++batch+++<br>\n";
    // One transaction per batch: the server writes its log once, not once
    // per statement. A refused statement undoes only itself; a deadlock
    // undoes the whole transaction, which then runs again. Batches with
    // statements that end a transaction themselves run as they come.
    $count = count($list);
    $texts = array();
    $useTx = true;
    for ($i = 0; $i < $count; $i++) {
        $texts[$i] = mv_request_text_utf8($list[$i], $v['charset']);
        if (preg_match('/^[\s(]*(ALTER|CREATE|DROP|TRUNCATE|RENAME|LOCK|UNLOCK|GRANT|REVOKE|START|BEGIN|COMMIT|ROLLBACK|SET|XA|SAVEPOINT|RELEASE|LOAD|FLUSH|OPTIMIZE|ANALYZE|REPAIR|INSTALL|UNINSTALL)\b/i', $texts[$i]) === 1) {
            $useTx = false;
        }
    }
    $useTx = $useTx && @$db->begin_transaction();
    $answers = array();
    $run = 0;
    $gone = false;
    $retries = 0;
    for ($i = 0; $i < $count; $i++) {
        if ($i > $run - 1 && $i > 0 && microtime(true) - $started > $guard) {
            break;
        }
        $result = @$db->query($texts[$i]);
        if ($result === false) {
            $errno = $db->errno;
            $error = (string)$db->error;
            if ($errno === 1046 && $dbErrno) {
                $errno = $dbErrno;
                $error = $dbError;
            }
            if ($useTx && $errno === 1213) {
                // The deadlock undid the batch so far: run it again, after
                // three tries statement by statement.
                ++$retries;
                @$db->rollback();
                $useTx = $retries < 3 && @$db->begin_transaction();
                $answers = array();
                $i = -1;
                continue;
            }
            $gone = ($errno === 2006 || $errno === 2013);
            $answer = '###error:' . (int)($errno ? $errno : 2000) . "#<br>\n";
            if ($error !== '') {
                $answer .= 'MySQL: ' . mv_html($error) . "<br>\n";
            }
            $answers[$i] = $answer;
        } else {
            if ($result === true) {
                $n = $db->affected_rows;
            } else {
                $n = $result->num_rows;
                $result->free();
            }
            $answers[$i] = '###row_count:' . ($n < 0 ? 0 : $n) . "#<br>\n";
        }
        $run = max($run, $i + 1);
        if ($gone) {
            break;
        }
    }
    $run = count($answers);
    if ($useTx && !$gone && !@$db->commit()) {
        // Nothing of the batch stays: every statement answers with that.
        $answer = '###error:' . (int)($db->errno ? $db->errno : 2000) . "#<br>\nMySQL: " . mv_html((string)$db->error) . "<br>\n";
        foreach ($answers as $k => $a) {
            $answers[$k] = $answer;
        }
    }
    if ($useTx && $gone) {
        // The transaction went with the server: nothing of it is confirmed.
        $answers = array();
        $run = 0;
    }
    foreach ($answers as $k => $a) {
        echo '+++statement:', $k, "+++<br>\n", $a;
    }
    echo '+++batchend:', $run, "+++<br>\n";
    @$db->close();
    mv_page_end();
}

if (!defined('MV_DB_CHECK_INCLUDED')) {
    try {
        mv_run(false);
    } catch (Exception $e) {
        echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
    } catch (Throwable $e) {
        echo '###error:2000#<br>', "\n", mv_html($e->getMessage()), "\n";
    }
}
