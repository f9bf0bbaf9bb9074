import { boardFields, launchBrowser, openPage, startServer, waitFor } from "./support.mjs";
const browser = await launchBrowser();
const people = [
  { employee: "Doe,Jane", lastName:"Doe", firstName:"Jane", department: "Sales", status: "In", workPhone: "555-1000", extension: "14" },
  { employee: "Roe,Rick", lastName:"Roe", firstName:"Rick",department: "Support", status: "Out", returning: "2:30 PM", workPhone: "555-0111", extension: "21" },
].map((p) => boardFields({ password: "pw", ...p }));
const server = await startServer("/work/wt/board500/build/bin/zelvorad", people);
try {
  const page = await openPage(browser, 360, 740, []);
  await page.goto(`${server.base}/`);
  await page.fill("#f-employee", "rick roe");
  await page.fill("#f-password", "pw");
  await page.click("form.sign-in button[type=submit]");
  await page.locator('tr.row[data-employee="Doe,Jane"]').waitFor();
  const wide = await page.evaluate(() => [...document.querySelectorAll("*")].filter(e => e.getBoundingClientRect().right > window.innerWidth).map(e => e.tagName + "." + e.className + ":" + Math.round(e.getBoundingClientRect().right)).slice(0, 15));
  console.log(wide);
  await page.screenshot({ path: "/tmp/b500_phone.png", fullPage: true });
} finally { await server.stop?.(); await browser.close(); }
